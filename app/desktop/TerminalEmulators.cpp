#include "app/desktop/TerminalEmulators.h"

#include <QStringList>

namespace TerminalEmulators {

bool isTerminal(const QString& bundleId)
{
    // Window classes of the common terminals whose name does not say "terminal" or "term".
    static const QStringList known = {
        QStringLiteral("konsole"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("tilix"),
        QStringLiteral("terminator"),
        QStringLiteral("foot"),
        QStringLiteral("footclient"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("sakura"),
        QStringLiteral("yakuake"),
        QStringLiteral("terminology"),
        QStringLiteral("st-256color"),
        QStringLiteral("ghostty"),
        QStringLiteral("com.mitchellh.ghostty"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("contour"),
        QStringLiteral("blackbox"),
        QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("ptyxis"),
        QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("kgx"),
        QStringLiteral("org.gnome.console"),
    };
    const QString id = bundleId.toLower();
    if (id.isEmpty())
        return false;
    // gnome-terminal-server, xfce4-terminal, mate-terminal, qterminal, lxterminal, wezterm,
    // xterm, uxterm, urxvt (rxvt), ...
    if (id.contains(QLatin1String("terminal")) || id.endsWith(QLatin1String("term")) ||
        id.contains(QLatin1String("rxvt")))
        return true;
    return known.contains(id);
}

} // namespace TerminalEmulators
