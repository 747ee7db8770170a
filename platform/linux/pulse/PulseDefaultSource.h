#pragma once

#include <QByteArray>

#include <chrono>

// The name of PulseAudio's default source (the user's chosen microphone), asked of the sound
// server directly because Qt does not say which input is the default. Empty when no server
// answers within the timeout.
QByteArray pulseDefaultSource(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
