#pragma once

#include "platform/SingleInstanceSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <cerrno>

#include <unistd.h>

// The lock files of one machine, shared by the processes that FakeSingleInstanceSystem plays. A
// path names a file by its number; a lock is held on a file, whatever names it meanwhile.
struct FakeLockFiles
{
    QHash<QString, int> named;
    QHash<int, const void*> holders;
    int lastFile = 0;
    bool locksKept = true;

    const void* holderAt(const QString& path) const { return holders.value(named.value(path)); }
    // Replaces the file at path with another, as a restored copy does.
    void replace(const QString& path) { named.insert(path, ++lastFile); }
};

// One process's view of the system: real folders (its socket is real), lock files in
// FakeLockFiles. A test can run code of its own while this process takes or asks about a lock
// (during), when it finds one held by another (heldFound), and when it lets its own go
// (released).
class FakeSingleInstanceSystem : public SingleInstanceSystem
{
public:
    explicit FakeSingleInstanceSystem(FakeLockFiles& files)
        : m_files(files)
    {}
    ~FakeSingleInstanceSystem() override { drop(); }

    std::function<void()> during;
    std::function<void()> heldFound;
    std::function<void()> released;
    // What the holder is told when a watched folder changes.
    std::function<void()> changed;

    uid_t user() const override { return ::getuid(); }
    QString runtimeFolder() const override { return {}; }
    bool isPrivate(const QString& path) const override { return QFileInfo(path).isDir(); }
    bool makePrivate(const QString& path) override { return QDir().mkpath(path); }
    Folder dataFolder(const QString& path, bool make) override
    {
        if (!make && !QFileInfo::exists(path))
            return {Folder::Kind::Missing, path};
        return {makePrivate(path) ? Folder::Kind::Usable : Folder::Kind::Refused, path};
    }
    Lock take(const QString& file) override
    {
        if (!m_files.locksKept)
            return Lock::Unsupported;
        if (!m_files.named.contains(file))
            m_files.replace(file);
        const int taken = m_files.named.value(file);
        if (const void* holder = m_files.holders.value(taken); holder && holder != this) {
            if (heldFound)
                heldFound();
            return Lock::Held;
        }
        drop();
        m_files.holders.insert(taken, this);
        m_file = taken;
        if (during)
            during();
        return Lock::Ours;
    }
    Lock check(const QString& file) const override
    {
        if (during)
            during();
        if (!m_files.locksKept)
            return Lock::Unsupported;
        const void* holder = m_files.holders.value(m_files.named.value(file, -1));
        if (holder && holder != this && heldFound)
            heldFound();
        return holder == this ? Lock::Ours : holder ? Lock::Held : Lock::Free;
    }
    bool stillNamed(const QString& path) const override { return m_file != 0 && m_files.named.value(path) == m_file; }
    void release() override
    {
        if (m_file != 0 && released)
            released();
        drop();
    }
    int error() const override { return m_files.locksKept ? 0 : ENOLCK; }
    std::optional<uid_t> peerUser(int) const override { return ::getuid(); }
    void setChanged(std::function<void()> changed) override { this->changed = std::move(changed); }
    bool watch(const QString&) override { return true; }

private:
    void drop()
    {
        if (m_file != 0 && m_files.holders.value(m_file) == this)
            m_files.holders.remove(m_file);
        m_file = 0;
    }

    FakeLockFiles& m_files;
    int m_file = 0;
};
