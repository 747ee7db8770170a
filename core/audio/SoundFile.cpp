#include "core/audio/SoundFile.h"

#include "core/audio/Resampler.h"
#include "core/audio/SoxrCalls.h"

#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

namespace SoundFile {

namespace {

// libsndfile reads through these callbacks straight from the caller's bytes.
struct MemoryStream
{
    QByteArrayView bytes;
    sf_count_t position = 0;
};

sf_count_t streamLength(void* user)
{
    return static_cast<MemoryStream*>(user)->bytes.size();
}

sf_count_t streamSeek(sf_count_t offset, int whence, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = stream->position;
    else if (whence == SEEK_END)
        base = stream->bytes.size();
    const sf_count_t target = base + offset;
    if (target < 0 || target > stream->bytes.size())
        return -1;
    stream->position = target;
    return target;
}

sf_count_t streamRead(void* out, sf_count_t count, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    const sf_count_t available = std::max<sf_count_t>(0, stream->bytes.size() - stream->position);
    const sf_count_t taken = std::clamp<sf_count_t>(count, 0, available);
    if (taken > 0)
        std::memcpy(out, stream->bytes.data() + stream->position, size_t(taken));
    stream->position += taken;
    return taken;
}

sf_count_t streamWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t streamTell(void* user)
{
    return static_cast<MemoryStream*>(user)->position;
}

template <typename T> sf_count_t readFrames(SNDFILE* file, T* out, sf_count_t frames)
{
    if constexpr (std::is_same_v<T, float>)
        return sf_readf_float(file, out, frames);
    else
        return sf_readf_short(file, out, frames);
}

template <typename T> std::optional<Audio<T>> read(QByteArrayView bytes, QString* error)
{
    MemoryStream stream{bytes, 0};
    SF_VIRTUAL_IO io{streamLength, streamSeek, streamRead, streamWrite, streamTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &stream);
    if (!file) {
        if (error)
            *error = QString::fromUtf8(sf_strerror(nullptr));
        return std::nullopt;
    }
    Audio<T> audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    // The frame count in a header is a claim, not a promise: read in slices until the data ends
    // so a lying header can neither over-allocate nor cut the audio short.
    constexpr sf_count_t slice = 16384;
    std::vector<T> buffer(size_t(slice) * size_t(std::max(1, info.channels)));
    while (info.channels > 0) {
        const sf_count_t got = readFrames(file, buffer.data(), slice);
        if (got <= 0)
            break;
        audio.interleaved.insert(audio.interleaved.end(), buffer.begin(),
                                 buffer.begin() + got * sf_count_t(info.channels));
    }
    const int failure = sf_error(file);
    if (failure != SF_ERR_NO_ERROR && error)
        *error = QString::fromUtf8(sf_error_number(failure));
    sf_close(file);
    if (failure != SF_ERR_NO_ERROR || info.channels <= 0 || info.samplerate <= 0)
        return std::nullopt;
    return audio;
}

} // namespace

std::optional<Audio<float>> readFloat(QByteArrayView bytes, QString* error)
{
    return read<float>(bytes, error);
}

std::optional<Audio<int16_t>> readInt16(QByteArrayView bytes, QString* error)
{
    return read<int16_t>(bytes, error);
}

int majorFormatForFileName(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    SF_FORMAT_INFO format{};
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
    for (int i = 0; i < count; ++i) {
        format.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &format, sizeof(format));
        if (format.extension && extension == QLatin1String(format.extension))
            return format.format;
    }
    return 0;
}

bool writeFloat(int fd, int majorFormat, const Audio<float>& audio, bool* layoutRefused, QString* error)
{
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = audio.channels;
    // Lossless where the container allows it: float samples, else 16-bit.
    info.format = majorFormat | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info))
        info.format = majorFormat | SF_FORMAT_PCM_16;
    if (!sf_format_check(&info)) {
        *layoutRefused = true;
        return false;
    }
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        *error = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    const sf_count_t frames = audio.frames();
    const sf_count_t written = sf_writef_float(file, audio.interleaved.data(), frames);
    const int failure = sf_error(file);
    if (written != frames || failure != SF_ERR_NO_ERROR)
        *error = QString::fromUtf8(failure != SF_ERR_NO_ERROR ? sf_error_number(failure) : "short write");
    const bool closed = sf_close(file) == 0;
    return written == frames && failure == SF_ERR_NO_ERROR && closed;
}

Samples toRecordingRate(const std::vector<float>& interleaved, int sampleRate, int channels)
{
    if (sampleRate <= 0 || channels <= 0)
        return {};
    const size_t frames = interleaved.size() / size_t(channels);
    Samples mono;
    if (channels == 1) {
        mono.assign(interleaved.begin(), interleaved.begin() + ptrdiff_t(frames));
    } else {
        mono.resize(frames);
        Resampler::mixToMono(interleaved.data(), qsizetype(frames), channels, mono.data());
    }
    if (sampleRate == kRecordingSampleRate || mono.empty())
        return mono;

    const SoxrCalls* soxr = SoxrCalls::get();
    if (!soxr)
        return {};
    const double ratio = double(kRecordingSampleRate) / sampleRate;
    Samples out(size_t(double(frames) * ratio) + 16);
    size_t produced = 0;
    const soxr_io_spec_t io = soxr->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr->qualitySpec(SOXR_HQ, 0);
    const soxr_error_t failure = soxr->oneshot(double(sampleRate), double(kRecordingSampleRate), 1, mono.data(), frames,
                                               nullptr, out.data(), out.size(), &produced, &io, &quality, nullptr);
    if (failure)
        return {};
    out.resize(produced);
    return out;
}

} // namespace SoundFile
