#include "app/shell/PrivateFolder.h"

#include <QFile>

#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>

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
    if (::mkdir(encoded.constData(), S_IRWXU) == 0) {
        // The umask may have taken some of the owner's own rights.
        ::chmod(encoded.constData(), S_IRWXU);
    } else if (errno != EEXIST) {
        return false;
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
