#include "platform/linux/system/PrivateFolder.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the folders on the way to path that are missing, open to their owner alone as the
// base-directory rules ask of a user's cache, whatever the umask.
bool makeParents(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return true;
    const QByteArray parent = path.left(slash);
    struct stat status
    {};
    if (::stat(parent.constData(), &status) == 0)
        return S_ISDIR(status.st_mode);
    if (!makeParents(parent))
        return false;
    if (::mkdir(parent.constData(), S_IRWXU) == 0)
        return ::chmod(parent.constData(), S_IRWXU) == 0;
    return errno == EEXIST;
}

} // namespace

namespace PrivateFolder {

bool isPrivate(const QString& path, uid_t owner)
{
    struct stat status
    {};
    // lstat: a link is refused, whatever it points to, since whoever owns it may point it
    // elsewhere later.
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == owner && (status.st_mode & 07777) == S_IRWXU;
}

bool make(const QString& path, uid_t owner)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (!makeParents(encoded))
        return false;
    if (::mkdir(encoded.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return false;
    // A folder of the owner's is theirs to close: the umask may have taken some of their own
    // rights (here, or in a launch beside this one that made it a moment ago), or they opened it
    // to others themselves (a chmod -R of their home, a restored backup, an rsync).
    const int folder = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
        struct stat status
        {};
        if (::fstat(folder, &status) == 0 && status.st_uid == owner && (status.st_mode & 07777) != S_IRWXU)
            ::fchmod(folder, S_IRWXU);
        ::close(folder);
    }
    return isPrivate(path, owner);
}

std::optional<uid_t> peerUser(int socketDescriptor)
{
    struct ucred credentials
    {};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 || ::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

} // namespace PrivateFolder
