#pragma once

#include "platform/SingleInstanceSystem.h"

#include <memory>

class FolderWatch;

// Open file description locks (fcntl F_OFD_*), asked without being taken, and let go by the
// kernel when the process ends however it ends; folder modes and owners from lstat; the peer's
// user from SO_PEERCRED; watches from inotify.
class LinuxSingleInstanceSystem : public SingleInstanceSystem
{
public:
    LinuxSingleInstanceSystem();
    ~LinuxSingleInstanceSystem() override;

    uid_t user() const override { return m_user; }
    QString runtimeFolder() const override;
    bool isPrivate(const QString& path) const override;
    bool makePrivate(const QString& path) override;
    Folder dataFolder(const QString& path, bool make) override;
    Lock take(const QString& file) override;
    Lock check(const QString& file) const override;
    bool stillNamed(const QString& path) const override;
    void release() override;
    int error() const override { return m_error; }
    std::optional<uid_t> peerUser(int socketDescriptor) const override;
    void setChanged(std::function<void()> changed) override;
    bool watch(const QString& folder) override;

private:
    uid_t m_user;
    // The descriptor the lock is held on, or -1.
    int m_lockFd = -1;
    mutable int m_error = 0;
    std::unique_ptr<FolderWatch> m_watch;
    std::function<void()> m_changed;
};
