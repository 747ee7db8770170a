#pragma once

#include <QString>

#include <functional>
#include <optional>

#include <sys/types.h>

// What deciding that one Murmo runs per user asks of the system: an exclusive lock on a file
// beside the personal data, folders that one user alone may reach, and who runs at the other end
// of a local socket. The lock is held until release() or the process ends, however it ends.
// Main thread only.
class SingleInstanceSystem
{
public:
    virtual ~SingleInstanceSystem() = default;

    // The user this process runs as.
    virtual uid_t user() const = 0;
    // The session's runtime folder when it is a folder of the user's alone; empty otherwise.
    virtual QString runtimeFolder() const = 0;

    // Whether path is a folder itself (not a link), of the user's, closed to everyone else.
    virtual bool isPrivate(const QString& path) const = 0;
    // Makes the folder (and those on the way) closed to others, or closes the user's own one
    // that is there; false when something else stands there, which is left as it is.
    virtual bool makePrivate(const QString& path) = 0;

    struct Folder
    {
        enum class Kind
        {
            Usable,
            // Nothing there, and nothing was made.
            Missing,
            // Another user's, a file, or a link that another user could point elsewhere.
            Refused,
        };
        Kind kind = Kind::Refused;
        // Where the files go: the folder itself, or the folder a link of the user's names.
        QString path;
    };
    // The personal data's folder at path, closed to others: a folder of the user's, or a link the
    // user owns, in a folder only the user may write, to a folder of the user's. Made when make
    // says so and nothing is there.
    virtual Folder dataFolder(const QString& path, bool make) = 0;

    enum class Lock
    {
        // This process holds it.
        Ours,
        // Nobody holds it.
        Free,
        // Another process holds it.
        Held,
        // The lock file is not a plain file of the user's own: never used.
        Refused,
        // The file system keeps no locks (NFS without its lock service, say).
        Unsupported,
        // The system would not say (no descriptors left, say): error() tells why.
        Failed,
    };
    // Takes the lock on file, made closed to others when missing, and holds it from then on in
    // place of any it held before; what it held is kept when this one cannot be taken.
    virtual Lock take(const QString& file) = 0;
    // Whether a process holds the lock on file, taking and making nothing.
    virtual Lock check(const QString& file) const = 0;
    // Whether path (links followed) still names the file whose lock this process holds.
    virtual bool stillNamed(const QString& path) const = 0;
    virtual void release() = 0;
    // The system's error number behind the last Failed or Unsupported.
    virtual int error() const = 0;

    // The user the process at the other end of a connected local socket runs as; none when the
    // system does not say.
    virtual std::optional<uid_t> peerUser(int socketDescriptor) const = 0;

    // Calls changed whenever something is removed or renamed away in a folder watched, or such a
    // folder itself is. watch() adds a folder, or watches a folder made anew in its place; false
    // when the system will not watch it.
    virtual void setChanged(std::function<void()> changed) = 0;
    virtual bool watch(const QString& folder) = 0;
};
