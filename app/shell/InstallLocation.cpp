#include "app/shell/InstallLocation.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace InstallLocation {

namespace {

const QString schemeHandler = QStringLiteral("x-scheme-handler/murmo");

// The first desktop entry named for the scheme in a mimeapps.list; the value may list several.
QString defaultIn(const QString& listFile)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inDefaults = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inDefaults = line == QStringLiteral("[Default Applications]");
            continue;
        }
        if (!inDefaults || !line.startsWith(schemeHandler + u'='))
            continue;
        const QStringList ids = line.mid(schemeHandler.size() + 1).split(u';', Qt::SkipEmptyParts);
        if (!ids.isEmpty())
            return ids.first().trimmed();
    }
    return {};
}

QString findDesktopEntry(const QString& id, const QStringList& dataDirs)
{
    for (const QString& dir : dataDirs) {
        const QString path = dir + QStringLiteral("/applications/") + id;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// Whether the program lives on a removable or mounted disk, or in an archive mounted for the
// run: the counterpart of running from the installer's disk image.
bool onMountedMedium(const QString& path)
{
    static const QStringList mounts{QStringLiteral("/media/"), QStringLiteral("/run/media/"), QStringLiteral("/mnt/"),
                                    QStringLiteral("/tmp/.mount_")};
    return std::any_of(mounts.cbegin(), mounts.cend(), [&](const QString& mount) { return path.startsWith(mount); });
}

// The program an Exec value starts: its first argument, unescaped as desktop entries write it.
// The string value's escapes come first (\s, \n, \t, \r, \\); then the argument's quoting
// (in "...", a backslash takes the next character as it is); then %% stands for %.
QString execProgram(const QString& value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            text += u' ';
        else if (next == u'n')
            text += u'\n';
        else if (next == u't')
            text += u'\t';
        else if (next == u'r')
            text += u'\r';
        else if (next == u'\\')
            text += u'\\';
        else
            text += QStringView(value).mid(i - 1, 2); // for the quoting
    }
    QString program;
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && text[i] == u'"') {
        for (++i; i < text.size() && text[i] != u'"'; ++i) {
            if (text[i] == u'\\' && i + 1 < text.size())
                ++i;
            program += text[i];
        }
    } else {
        for (; i < text.size() && !text[i].isSpace(); ++i)
            program += text[i];
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

} // namespace

QString handlerDesktopFile(const QStringList& configDirs, const QStringList& dataDirs)
{
    QStringList lists;
    for (const QString& dir : configDirs)
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : dataDirs)
        lists << dir + QStringLiteral("/applications/mimeapps.list");
    for (const QString& list : std::as_const(lists)) {
        const QString id = defaultIn(list);
        if (id.isEmpty())
            continue;
        const QString entry = findDesktopEntry(id, dataDirs);
        if (!entry.isEmpty())
            return entry;
    }
    return findDesktopEntry(QStringLiteral("murmo.desktop"), dataDirs);
}

QString handlerProgram(const QString& desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QStringLiteral("Exec=")))
            continue;
        const QString program = execProgram(line.mid(5));
        if (program.isEmpty())
            return {};
        if (QFileInfo(program).isAbsolute())
            return program;
        const QString found = QStandardPaths::findExecutable(program);
        return found.isEmpty() ? program : found;
    }
    return {};
}

std::optional<Warning> warning(const QString& runningPath, const QString& installedPath)
{
    const QString running = QFileInfo(runningPath).canonicalFilePath();
    if (!installedPath.isEmpty() && !running.isEmpty() && QFileInfo(installedPath).canonicalFilePath() == running)
        return std::nullopt;
    const QString shown = running.isEmpty() ? runningPath : running;
    Warning warning;
    // Only the "murmo:" handler tells copies apart here: permissions and hotkeys do not depend on
    // the path, and a copied file is not the handler until it is registered.
    warning.title = onMountedMedium(shown)
                        ? QStringLiteral("你正从安装盘里直接运行Murmo——浏览器里的登录回不到这一份。")
                        : QStringLiteral("这份Murmo不是系统登记的那一份——浏览器里的登录回不到这里。");
    warning.detail = QStringLiteral("请退出，在源码目录里运行 scripts/run：它把Murmo装进 ~/.local/bin、"
                                    "登记为登录的接收方并启动它。当前位置：") +
                     shown;
    return warning;
}

std::optional<Warning> current()
{
    QStringList dataDirs{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    dataDirs << QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    dataDirs.removeDuplicates();
    const QStringList configDirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString entry = handlerDesktopFile(configDirs, dataDirs);
    return warning(QCoreApplication::applicationFilePath(), entry.isEmpty() ? QString() : handlerProgram(entry));
}

} // namespace InstallLocation
