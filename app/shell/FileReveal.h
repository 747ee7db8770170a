#pragma once

#include <QFuture>
#include <QString>

#include <functional>

class ProcessLauncher;

// Shows a file in the desktop's file manager with the file selected: the FileManager1 D-Bus
// service that Nautilus, Dolphin, Nemo and Thunar provide, else the folder that holds it opened
// by the desktop's default handler. The windows take this as a function so tests can record the
// path instead of opening a file manager.
namespace FileReveal {

// Resolves to whether a file manager took the file; false when none could show it.
using Function = std::function<QFuture<bool>(const QString& path)>;

// Returns at once; the fallback runs when the service answers with an error (or not at all).
QFuture<bool> reveal(const QString& path, ProcessLauncher& launcher);

} // namespace FileReveal
