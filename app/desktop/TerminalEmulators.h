#pragma once

#include <QString>

// Terminal emulators paste with Ctrl+Shift+V (Ctrl+V reaches the shell as a control character).
// They are recognised by their window class.
namespace TerminalEmulators {

bool isTerminal(const QString& bundleId);

} // namespace TerminalEmulators
