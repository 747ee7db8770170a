#include "platform/LateLibrary.h"

#include <QDebug>

#include <dlfcn.h>

void LateLibrary::open(const char* soname)
{
    // Never closed: a library such as GObject registers types that cannot be taken back.
    m_handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle && m_error.isEmpty())
        m_error = QString::fromLocal8Bit(dlerror());
}

void* LateLibrary::symbol(const char* name)
{
    if (!m_handle)
        return nullptr;
    dlerror();
    void* found = dlsym(m_handle, name);
    if (!found && m_error.isEmpty())
        m_error = QString::fromLocal8Bit(dlerror());
    return found;
}

void LateLibrary::warnMissing(const char* feature, const QString& error)
{
    qWarning().noquote() << "Cannot" << feature << "without a library:" << error;
}
