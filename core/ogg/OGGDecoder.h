#pragma once

#include "core/ogg/OpusHeaders.h"

#include <QByteArrayView>

#include <ogg/ogg.h>

#include <cstdint>
#include <vector>

struct OpusDecoder;
struct OpusMSDecoder;

// Decodes a whole Ogg/Opus stream held in memory into interleaved float PCM at the Opus rate
// nearest the stream's input rate (16 kHz recordings decode at 16 kHz). Chained streams are
// decoded link after link; packets of other logical streams are skipped. Each link starts after
// its pre-skip and ends exactly where its last granule position says, as RFC 7845 asks. Throws
// OpusError when the bytes hold no Opus stream or a stream that does not decode; never reads
// outside the input. Heavy for long recordings: run it off the main thread.
class OGGDecoder
{
public:
    // Where decoded audio goes as it is produced, one packet at a time, so that a caller who
    // converts it need never hold the stream's whole output at its own rate.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // The audio that follows, up to the next call, has this rate and channel count.
        virtual void format(int32_t sampleRate, int32_t channels) = 0;
        virtual void audio(const float* interleaved, qsizetype frames) = 0;
    };

    static constexpr int32_t MAX_FRAME_SIZE = 5760;
    // A few bytes of stream can ask for a great deal of audio (an empty packet decodes to 120 ms
    // of concealment per channel), so output beyond this many floats is refused: about four and
    // a half hours of a 16 kHz mono recording.
    static constexpr qsizetype kDefaultMaxOutput = qsizetype(1) << 28;

    // Decodes into pcmData. The links of a chain must share rate and channel count, since one
    // buffer has one format; otherwise throws OpusError (Unimplemented). Throws OpusError
    // (BufferTooSmall) once more than maxOutput floats have been decoded.
    explicit OGGDecoder(QByteArrayView audioData, qsizetype maxOutput = kDefaultMaxOutput);
    // Hands the audio to sink instead, links of any format; pcmData stays empty.
    OGGDecoder(QByteArrayView audioData, Sink& sink, qsizetype maxOutput = kDefaultMaxOutput);
    ~OGGDecoder();

    OGGDecoder(const OGGDecoder&) = delete;
    OGGDecoder& operator=(const OGGDecoder&) = delete;

    // Frames per channel at sampleRate that the stream's pages say its Opus links hold, summed,
    // found without decoding. A hint for reserving output, bounded by what input of this size
    // can plausibly hold; a damaged or lying stream may decode to more or less.
    static qsizetype statedFrames(QByteArrayView audioData, int32_t sampleRate);

    int32_t sampleRate = 48000;
    int32_t numChannels = 1;
    // Interleaved samples, numChannels per instant.
    std::vector<float> pcmData;

private:
    void decodeAll(QByteArrayView audioData);
    void readPage();
    void handlePacket();
    void startLink();
    void readIdentificationHeader();
    void decodeAudio();
    bool morePacketsOnPage();
    void release();
    void destroyDecoder();

    ogg_stream_state m_streamState{};
    ogg_page m_page{};
    ogg_sync_state m_syncState{};
    ogg_packet m_packet{};
    OpusHeader m_header;
    // A stream that is one plain Opus stream in channel order (every mono or stereo recording)
    // is decoded by the plain decoder, which gives the same samples as the multistream decoder
    // at a fraction of its cost per packet; any other layout by the multistream decoder.
    OpusDecoder* m_plainDecoder = nullptr;
    OpusMSDecoder* m_decoder = nullptr;
    int64_t m_packetCount = 0;
    bool m_beginStream = true;
    int64_t m_pageGranulePosition = 0;
    bool m_hasOpusStream = false;
    bool m_hasTagsPacket = false;
    int m_opusSerialNumber = 0;
    int m_totalLinks = 0;
    int32_t m_preSkip = 0;
    int32_t m_granOffset = 0;
    int32_t m_frameSize = 0;
    int64_t m_linkOut = 0;
    std::vector<float> m_pcmDataBuffer;
    qsizetype m_maxOutput = 0;
    qsizetype m_decodedTotal = 0;
    Sink* m_sink = nullptr;
    // What the input says it holds, in frames at 48 kHz; decides how much of pcmData to reserve.
    qsizetype m_statedFrames48k = 0;
};
