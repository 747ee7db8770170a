#pragma once

#include <QString>

#include <chrono>

// Where and why the microphone ended a take before the user did: the device stopped on its own
// (the sound server went away). What it heard until then is the take; nothing after was recorded.
struct TakeCut
{
    // How far into the take the microphone stopped.
    std::chrono::milliseconds at{0};
    // Why, as the audio system told it.
    QString reason;

    friend bool operator==(const TakeCut&, const TakeCut&) = default;
};
