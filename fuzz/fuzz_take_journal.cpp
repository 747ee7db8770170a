// Take files a crashed run left in the recordings folder are read back at the next start: their
// header decides how much is read and what it becomes.
#include "core/audio/TakeJournal.h"
#include "fuzz/FuzzInput.h"

#include <QBuffer>

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = fuzzBytes(data, size);
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const std::optional<Samples> samples = TakeJournal::read(device);
    if (!samples)
        return 0;
    // No more than the input's samples brought to 16 kHz from the lowest rate a journal has.
    const qint64 frames = (qint64(size) - TakeJournal::kHeaderSize) / 2;
    const qint64 most = frames * kRecordingSampleRate / TakeJournal::kMinRate + 64;
    if (qint64(samples->size()) > most)
        std::abort();
    for (const float sample : *samples)
        if (!std::isfinite(sample))
            std::abort();
    return 0;
}
