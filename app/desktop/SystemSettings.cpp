#include "app/desktop/SystemSettings.h"

#include "platform/ProcessLauncher.h"

#include <QStringList>

namespace SystemSettings {

namespace {

struct Candidate
{
    QString program;
    QStringList arguments;
};

QList<Candidate> candidates(Panel panel)
{
    switch (panel) {
    case Panel::sound:
        return {{"gnome-control-center", {"sound"}},
                {"systemsettings", {"kcm_pulseaudio"}},
                {"xfce4-settings-manager", {}},
                {"pavucontrol", {"--tab=4"}}};
    case Panel::accessibility:
        return {{"gnome-control-center", {"universal-access"}},
                {"systemsettings", {"kcm_access"}},
                {"xfce4-accessibility-settings", {}}};
    case Panel::keyboard:
        return {{"gnome-control-center", {"keyboard"}},
                {"systemsettings", {"kcm_keyboard"}},
                {"xfce4-keyboard-settings", {}}};
    }
    return {};
}

} // namespace

bool open(Panel panel, ProcessLauncher& launcher)
{
    for (const Candidate& candidate : candidates(panel)) {
        const QString path = launcher.findExecutable(candidate.program);
        if (!path.isEmpty())
            return launcher.startDetached(path, candidate.arguments);
    }
    return false;
}

} // namespace SystemSettings
