#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <ogg/ogg.h>

#include <cstdint>
#include <optional>
#include <vector>

struct OpusEncoder;

// Turns interleaved 16-bit PCM into an Ogg/Opus stream of 20 ms packets: a page holding only the
// identification header, a page holding only the comment header, then audio pages. Pre-skip is 0
// and each packet's granule position counts exactly the samples encoded so far, so a decoder
// gives back every encoded sample. PCM short of a whole packet is kept for the next call and
// never padded. One caller at a time; a stream is one encoder's lifetime.
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
    // (InternalError) when the byte count is not a whole number of frames, leaving all as it was.
    void encode(QByteArrayView pcm);
    void encode(const int16_t* pcm, qsizetype byteCount);

    // Every page assembled so far, the header pages included until first taken. With flush every
    // submitted packet is paged; otherwise a partly filled page stays for later. fillBytes asks
    // libogg for pages of about that many bytes.
    QByteArray bitstream(bool flush, std::optional<int32_t> fillBytes = std::nullopt);

    int32_t frameSize() const { return m_frameSize; }
    int64_t granulePosition() const { return m_granulePosition; }
    int64_t packetNumber() const { return m_packetNumber; }
    qsizetype cachedPcmBytes() const { return m_pcmCache.size(); }

private:
    void encodePacket(const char* pcm);
    void submit(const unsigned char* data, long size, int64_t granulePosition, bool beginOfStream);
    void flushHeaderPages();
    void appendPage(const ogg_page& page);

    ogg_stream_state m_stream{};
    bool m_streamReady = false;
    OpusEncoder* m_encoder = nullptr;
    int64_t m_granulePosition = 0;
    int64_t m_packetNumber = 0;
    int32_t m_frameSize = 0;
    int32_t m_opusRate = 0;
    uint32_t m_pcmBytesPerFrame = 0;
    QByteArray m_pcmCache;
    QByteArray m_oggCache;
    std::vector<unsigned char> m_packetBuffer;
    // PCM handed to libopus must be 16-bit aligned; callers' views need not be.
    std::vector<int16_t> m_alignedPcm;
};
