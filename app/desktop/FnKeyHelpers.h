#pragma once

class ProcessLauncher;
class QWidget;

// The Fn key as a talk key. On Linux no desktop setting claims the key the program uses for Fn
// (the Menu key), so there is never a conflict to fix; the helpers keep the shape the banners
// and the controller call.
namespace FnKeyHelpers {

// Whether the desktop takes the Fn key for its own purpose: never on Linux.
bool fnKeyHijacksSystem();
// Makes the key do nothing in the desktop's eyes; there is nothing to change, so true.
bool setFnKeyToNoAction();
// setFnKeyToNoAction() plus a modal alert with the outcome.
void fixFnKeyOneClick(ProcessLauncher& launcher, QWidget* parent = nullptr);
// Opens the desktop's keyboard settings, when installed.
bool openKeyboardSettings(ProcessLauncher& launcher);

} // namespace FnKeyHelpers
