#pragma once

#include "core/MurmoError.h"

// The microphone could not be started. The description is what the audio system said, so the
// user learns why (no device, access refused, device busy).
class AudioCaptureError : public MurmoError
{
public:
    explicit AudioCaptureError(QString description);
};
