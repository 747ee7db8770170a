#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// Names of keys as the user's keyboard labels them, by the program's key codes.
namespace HotkeyNames {

// The ten modifier keys: Super, Shift, CapsLock, Alt, Ctrl on either side, and Menu.
const QSet<int>& modifierKeyCodes();
// Space, Enter, Tab, Backspace, Esc, the arrows and F1 to F12.
const QHash<int, QString>& special();
// Letters, digits and punctuation of the main block.
const QHash<int, QString>& ansi();

// A non-modifier key: its label, or "Key" and the code for keys without one.
QString key(qint64 code);
// A lone modifier key: "左Ctrl", "右Shift", "Menu", ...; "Key" and the code for anything else.
QString modifierOnly(qint64 code);

} // namespace HotkeyNames
