#pragma once

#include "platform/OutputVolume.h"

#include <chrono>

// The output volume of the PulseAudio (or PipeWire's pulse) server: the default sink's loudest
// channel is the scalar; setting it scales every channel by the same factor. Each call opens its
// own short-lived connection and gives up after the timeout, so a missing server never blocks
// the caller for long.
class PulseOutputVolume : public OutputVolume
{
public:
    explicit PulseOutputVolume(std::chrono::milliseconds timeout = std::chrono::milliseconds(400));

    std::optional<Reading> defaultOutput() override;
    bool setVolume(const QString& sink, float volume) override;

private:
    std::chrono::milliseconds m_timeout;
};
