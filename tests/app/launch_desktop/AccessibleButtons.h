#pragma once

#include <QStringList>
#include <QtGlobal>

// A program's push buttons as a screen reader sees them through the AT-SPI bus: which are
// showing, and pressing one by name.
namespace AccessibleButtons {

// The names of the showing push buttons in pid's windows.
QStringList showing(qint64 pid);
// Presses the showing button called name; false when there is none or it did not take the press.
bool press(qint64 pid, const QString& name);

} // namespace AccessibleButtons
