#pragma once

#include <QRect>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// A program's push buttons and texts as a screen reader sees them through the AT-SPI bus: which
// are showing, where a button is on the screen, and pressing one by name.
namespace AccessibleButtons {

// The names of the showing push buttons in pid's windows.
QStringList showing(qint64 pid);
// Presses the showing button called name; false when there is none or it did not take the press.
bool press(qint64 pid, const QString& name);
// Where the showing button called name is, in screen pixels; nothing when there is none. With a
// description, only the button that also says so (its tool tip) counts: two windows may both
// offer a button of the same name.
std::optional<QRect> extents(qint64 pid, const QString& name, const QString& description = {});
// The names of everything else showing in pid's windows: labels and other texts.
QStringList showingTexts(qint64 pid);
// What the bus shows of pid, for a failure's message: each application listed for it, with its
// windows and which of them are hidden.
QString describe(qint64 pid);

} // namespace AccessibleButtons
