#include "core/audio/AudioCaptureError.h"

AudioCaptureError::AudioCaptureError(QString description)
    : MurmoError(std::move(description))
{}
