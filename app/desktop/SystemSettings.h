#pragma once

class ProcessLauncher;

// The desktop's own settings program, opened at a panel. Desktops differ: the first installed
// program of a known desktop is used, and nothing happens where none is installed.
namespace SystemSettings {

enum class Panel
{
    sound,
    accessibility,
    keyboard
};

// False when no settings program for the panel is installed or it would not start.
bool open(Panel panel, ProcessLauncher& launcher);

} // namespace SystemSettings
