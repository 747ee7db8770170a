#pragma once

#include <QString>

#include <optional>

#include <sys/types.h>

// Folders and sockets that one user alone may reach. The running instance's socket and its lock
// live in such folders: whoever can put a listener where a later launch looks is handed what it
// carries (a sign-in callback with its tokens), and whoever can put files beside the lock could
// hold it.
namespace PrivateFolder {

// Whether path is a folder itself (not a link to one), owned by owner, that nobody else may
// read, write or enter (mode 0700).
bool isPrivate(const QString& path, uid_t owner);

// Makes the folder, and the folders on the way to it, open to its owner alone whatever the umask,
// or takes it when it is there already, closed to everyone else (mode 0700) when it is the
// owner's. False when something else stands there: another user's folder, a link or a file. Such
// a folder is left as it is.
bool make(const QString& path, uid_t owner);

// The user the process at the other end of a connected local socket runs as (for a listening
// socket's client: the user that listens); none when the system does not say.
std::optional<uid_t> peerUser(int socketDescriptor);

} // namespace PrivateFolder
