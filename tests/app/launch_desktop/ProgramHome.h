#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// A throw-away home for the murmo program: its own XDG folders (the runtime one private, so that
// its one-instance socket is nobody else's) and an environment with every service at one address
// and the accessibility bus on, so that its windows can be read.
class ProgramHome
{
public:
    ProgramHome()
    {
        for (const char* sub : {"home", "config", "data", "cache", "runtime"})
            m_valid = m_valid && QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
        m_valid = m_valid && QFile::setPermissions(filePath(QStringLiteral("runtime")),
                                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool isValid() const { return m_valid; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    QProcessEnvironment environment(const QString& services) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), filePath(QStringLiteral("runtime")));
        for (const char* name : {"MURMO_GATEWAY_URL", "MURMO_DASHSCOPE_URL", "MURMO_DEEPGRAM_URL",
                                 "MURMO_ANTHROPIC_URL", "MURMO_SIGNIN_URL"})
            env.insert(QString::fromLatin1(name), services);
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return env;
    }

private:
    QTemporaryDir m_dir;
    bool m_valid = m_dir.isValid();
};
