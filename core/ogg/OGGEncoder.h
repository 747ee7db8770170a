#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <ogg/ogg.h>

#include <cstdint>
#include <optional>
#include <vector>

struct OpusEncoder;

// Turns interleaved 16-bit PCM into an Ogg/Opus stream of 20 ms packets: a page holding only the
// identification header, a page holding only the comment header, then audio pages. The header's
// pre-skip is the codec's own look-ahead, so players start on the first sample given. PCM short
// of a whole packet waits for the next call; finish() encodes it, padded with silence, and ends
// the stream with a page whose granule position trims the padding away, so a reader gives back
// exactly the samples encoded. One caller at a time; a stream is one encoder's lifetime.
class OGGEncoder
{
public:
    enum class Application
    {
        Voip,
        Audio,
        LowDelay,
    };

    // What the PCM handed to encode() looks like.
    struct PcmFormat
    {
        double sampleRate = 0;
        int channelsPerFrame = 0;
        uint32_t bytesPerFrame = 0;
    };

    static constexpr int32_t maxFrameSize = 3832;

    // Throws OggError when the PCM rate differs from opusRate (there is no resampling here) and
    // OpusError when libopus refuses the rate, the channel count or the PCM layout.
    OGGEncoder(const PcmFormat& format, int32_t opusRate, Application application);
    OGGEncoder(int32_t pcmRate, int32_t pcmChannels, uint32_t pcmBytesPerFrame, int32_t opusRate,
               Application application);
    ~OGGEncoder();

    OGGEncoder(const OGGEncoder&) = delete;
    OGGEncoder& operator=(const OGGEncoder&) = delete;

    // Encodes every whole 20 ms packet that the cached remainder and pcm make up. Throws OpusError
    // (InternalError) when the byte count is not a whole number of frames, leaving all as it was,
    // and OggError (InternalError) once the stream is finished.
    void encode(QByteArrayView pcm);
    void encode(const int16_t* pcm, qsizetype byteCount);

    // Ends the stream: the cached remainder and the codec's look-ahead are encoded, padded with
    // silence to whole packets, the last one marked end of stream. Take the pages with
    // bitstream() afterwards. Calling it again does nothing.
    void finish();

    // Every page assembled so far, the header pages included until first taken. With flush every
    // submitted packet is paged; otherwise a partly filled page stays for later. fillBytes asks
    // libogg for pages of about that many bytes.
    QByteArray bitstream(bool flush, std::optional<int32_t> fillBytes = std::nullopt);

    int32_t frameSize() const { return m_frameSize; }
    int64_t granulePosition() const { return m_granulePosition; }
    int64_t packetNumber() const { return m_packetNumber; }
    // Samples per channel at 48 kHz that a decoder drops at the start of the stream.
    int32_t preSkip() const { return m_preSkip; }
    qsizetype cachedPcmBytes() const { return m_pcmCache.size(); }

private:
    // endPosition, when given, ends the stream at that granule position.
    void encodePacket(const char* pcm, std::optional<int64_t> endPosition = std::nullopt);
    void submit(const unsigned char* data, long size, int64_t granulePosition, bool beginOfStream,
                bool endOfStream = false);
    void flushHeaderPages();
    void appendPage(const ogg_page& page);

    ogg_stream_state m_stream{};
    bool m_streamReady = false;
    OpusEncoder* m_encoder = nullptr;
    int64_t m_granulePosition = 0;
    int64_t m_packetNumber = 0;
    int32_t m_frameSize = 0;
    int32_t m_opusRate = 0;
    int32_t m_preSkip = 0;
    // Frames per channel handed to encode(), cached ones included.
    int64_t m_framesIn = 0;
    bool m_finished = false;
    uint32_t m_pcmBytesPerFrame = 0;
    QByteArray m_pcmCache;
    QByteArray m_oggCache;
    std::vector<unsigned char> m_packetBuffer;
    // PCM handed to libopus must be 16-bit aligned; callers' views need not be.
    std::vector<int16_t> m_alignedPcm;
};
