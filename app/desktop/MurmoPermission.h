#pragma once

#include <QList>
#include <QString>

#include <optional>

class PermissionProbes;
class ProcessLauncher;

// The two things the program needs the desktop to allow: recording the microphone, and reading
// and typing into other applications.
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
// One line telling what to turn on where no settings program could be opened.
QString settingsHint(MurmoPermission permission);
// Opens the desktop's settings for the permission, when a settings program is installed.
bool openSettings(MurmoPermission permission, ProcessLauncher& launcher);

} // namespace MurmoPermissions
