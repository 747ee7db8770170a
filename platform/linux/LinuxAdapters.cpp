#include "platform/linux/LinuxAdapters.h"

Ports LinuxAdapters::ports()
{
    return Ports{clock,        keys,        keySynthesizer, audioInput,    soundOutput,
                 outputVolume, clipboard,   workspace,      accessibility, compositing,
                 appearance,   permissions, launcher,       secrets,       freedMemory};
}
