#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Whether this program runs as the installed copy, the one the desktop starts for "murmo:" links
// (the sign-in callback). A second copy run from elsewhere (the build tree, a download, a
// removable disk) misses the callback, so the main window warns about it.
namespace InstallLocation {

struct Warning
{
    QString title;
    // The advice followed by the running program's path.
    QString detail;
};

// The desktop entry that handles "murmo:" links, by the freedesktop lookup: the
// [Default Applications] of the mimeapps.list files in configDirs then dataDirs/applications,
// else a "murmo.desktop" in dataDirs/applications. Empty when there is none.
QString handlerDesktopFile(const QStringList& configDirs, const QStringList& dataDirs);
// The program that a desktop entry's Exec line starts, as an absolute path when it can be
// resolved (a bare name is looked up in PATH); empty when the file has no Exec line.
QString handlerProgram(const QString& desktopFile);

// The warning to show for the running program at runningPath, given the installed program (empty
// when none is installed); std::nullopt when they are the same file.
std::optional<Warning> warning(const QString& runningPath, const QString& installedPath);

// The above for this process and this desktop.
std::optional<Warning> current();

} // namespace InstallLocation
