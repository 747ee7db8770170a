#include "platform/linux/system/LinuxSingleInstanceSystem.h"

#include "platform/linux/system/FolderWatch.h"
#include "platform/linux/system/PrivateFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lock file, or -1 with errno set. Made 0600 whatever the umask when create says so: a file
// the umask left without its owner's rights is given them back. One that is not a plain file of
// the user's own (put there while the user had opened the folder to others) is not used: EPERM.
int openLockFile(const QString& path, uid_t user, bool create)
{
    const QByteArray encoded = QFile::encodeName(path);
    // Non-blocking: a pipe in the file's place would hold the open up for good.
    const int flags = (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0 && errno == EACCES &&
        ::fchmodat(AT_FDCWD, encoded.constData(), S_IRUSR | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0)
        fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return errno == ELOOP ? (errno = EPERM, -1) : -1;
    struct stat status
    {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != user) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    if (create)
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    return fd;
}

// The whole file, write-locked. An open file description's lock (not flock): a launch can ask
// whether it is held without taking it, so that asking never keeps a launch beside it from
// taking it.
struct flock wholeFile()
{
    struct flock lock
    {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

SingleInstanceSystem::Lock lockError(int error)
{
    if (error == EPERM)
        return SingleInstanceSystem::Lock::Refused;
    return error == ENOLCK ? SingleInstanceSystem::Lock::Unsupported : SingleInstanceSystem::Lock::Failed;
}

} // namespace

LinuxSingleInstanceSystem::LinuxSingleInstanceSystem()
    : m_user(::getuid())
{}

LinuxSingleInstanceSystem::~LinuxSingleInstanceSystem()
{
    release();
}

QString LinuxSingleInstanceSystem::runtimeFolder() const
{
    // The variable itself: Qt's runtime location falls back to a name in the shared temporary
    // folder, which another user could make first.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && isPrivate(runtime) ? runtime : QString();
}

bool LinuxSingleInstanceSystem::isPrivate(const QString& path) const
{
    return PrivateFolder::isPrivate(path, m_user);
}

bool LinuxSingleInstanceSystem::makePrivate(const QString& path)
{
    return PrivateFolder::make(path, m_user);
}

SingleInstanceSystem::Folder LinuxSingleInstanceSystem::dataFolder(const QString& path, bool make)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat link
    {};
    if (::lstat(encoded.constData(), &link) != 0) {
        if (errno != ENOENT)
            return {Folder::Kind::Refused, path};
        if (!make)
            return {Folder::Kind::Missing, path};
        return {makePrivate(path) ? Folder::Kind::Usable : Folder::Kind::Refused, path};
    }
    if (!S_ISLNK(link.st_mode))
        return {makePrivate(path) ? Folder::Kind::Usable : Folder::Kind::Refused, path};
    // A link is the user's set-up (a dotfile manager's, a data disk's) when nobody else could
    // have made it or could point it elsewhere: the user's own, in a folder only the user may
    // write, naming a folder of the user's.
    struct stat parent
    {};
    const QString parentPath = QFileInfo(path).absolutePath();
    if (link.st_uid != m_user || ::stat(QFile::encodeName(parentPath).constData(), &parent) != 0 ||
        parent.st_uid != m_user || (parent.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return {Folder::Kind::Refused, path};
    char resolved[PATH_MAX];
    if (::realpath(encoded.constData(), resolved) == nullptr)
        return {errno == ENOENT && !make ? Folder::Kind::Missing : Folder::Kind::Refused, path};
    const QString target = QFile::decodeName(resolved);
    return {makePrivate(target) ? Folder::Kind::Usable : Folder::Kind::Refused, target};
}

SingleInstanceSystem::Lock LinuxSingleInstanceSystem::take(const QString& file)
{
    const int fd = openLockFile(file, m_user, true);
    struct flock lock = wholeFile();
    if (fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0) {
        release();
        m_lockFd = fd;
        return Lock::Ours;
    }
    m_error = errno;
    if (fd >= 0)
        ::close(fd);
    return m_error == EAGAIN || m_error == EACCES ? Lock::Held : lockError(m_error);
}

SingleInstanceSystem::Lock LinuxSingleInstanceSystem::check(const QString& file) const
{
    const int fd = openLockFile(file, m_user, false);
    if (fd < 0) {
        m_error = errno;
        return m_error == ENOENT ? Lock::Free : lockError(m_error);
    }
    struct flock lock = wholeFile();
    const bool asked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0;
    m_error = errno;
    ::close(fd);
    if (!asked)
        return lockError(m_error);
    return lock.l_type == F_UNLCK ? Lock::Free : Lock::Held;
}

bool LinuxSingleInstanceSystem::stillNamed(const QString& path) const
{
    struct stat held
    {};
    struct stat named
    {};
    return m_lockFd >= 0 && ::fstat(m_lockFd, &held) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void LinuxSingleInstanceSystem::release()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

std::optional<uid_t> LinuxSingleInstanceSystem::peerUser(int socketDescriptor) const
{
    return PrivateFolder::peerUser(socketDescriptor);
}

void LinuxSingleInstanceSystem::setChanged(std::function<void()> changed)
{
    m_changed = std::move(changed);
}

bool LinuxSingleInstanceSystem::watch(const QString& folder)
{
    if (!m_watch) {
        m_watch = std::make_unique<FolderWatch>();
        QObject::connect(m_watch.get(), &FolderWatch::somethingLeft, m_watch.get(), [this] {
            if (m_changed)
                m_changed();
        });
    }
    return m_watch->watch(folder);
}
