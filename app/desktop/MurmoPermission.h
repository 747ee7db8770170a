#pragma once

#include <QList>
#include <QString>

#include <optional>

class PermissionProbes;
class ProcessLauncher;

// The two things the program asks the desktop to allow: recording the microphone, and reading
// other applications through the accessibility bus.
enum class MurmoPermission
{
    microphone,
    accessibility
};

namespace MurmoPermissions {

// In the order the windows list them.
const QList<MurmoPermission>& allCases();
// "microphone", "accessibility": the permission's identity in lists and settings.
QString rawValue(MurmoPermission permission);
std::optional<MurmoPermission> fromRawValue(const QString& raw);

// Asks for the permission: the accessibility bus is switched on; then the desktop's settings for
// it are opened, where the user can check or change it. False when no settings program opened.
bool request(MurmoPermission permission, PermissionProbes& probes, ProcessLauncher& launcher);
// What the permission is for, as the first-run sheet's and the settings' rows explain it. Every
// window that names a permission says what these say: typing into other applications and the
// hotkeys work without the accessibility bus; the screen context, learning from the user's edits
// and reading the selection for a rewrite do not.
QString explanation(MurmoPermission permission);
// The main window's warning while the permission is missing.
QString missingWarning(MurmoPermission permission);
// Under the first-run sheet's continue button while something is missing.
QString continueWithoutNote();
// One line telling what to turn on where no settings program could be opened.
QString settingsHint(MurmoPermission permission);
// Asks as request() does, for a button that must not do nothing silently: what to show beside it,
// empty when a settings program opened, else settingsHint().
QString requestWithHint(MurmoPermission permission, PermissionProbes& probes, ProcessLauncher& launcher);
// Opens the desktop's settings for the permission, when a settings program is installed.
bool openSettings(MurmoPermission permission, ProcessLauncher& launcher);

} // namespace MurmoPermissions
