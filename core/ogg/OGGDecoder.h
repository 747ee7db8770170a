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
// decoded link after link; packets of other logical streams are skipped. Throws OpusError when
// the bytes hold no Opus stream or a stream that does not decode; never reads outside the input.
// Heavy for long recordings: run it off the main thread.
class OGGDecoder
{
public:
    static constexpr int32_t MAX_FRAME_SIZE = 5760;
    // A few bytes of stream can ask for a great deal of audio (an empty packet decodes to 120 ms
    // of concealment per channel), so output beyond this many floats is refused: about four and
    // a half hours of a 16 kHz mono recording.
    static constexpr qsizetype kDefaultMaxOutput = qsizetype(1) << 28;

    // Throws OpusError (BufferTooSmall) once more than maxOutput floats have been decoded.
    explicit OGGDecoder(QByteArrayView audioData, qsizetype maxOutput = kDefaultMaxOutput);
    ~OGGDecoder();

    OGGDecoder(const OGGDecoder&) = delete;
    OGGDecoder& operator=(const OGGDecoder&) = delete;

    int32_t sampleRate = 48000;
    int32_t numChannels = 1;
    // Interleaved samples, numChannels per instant.
    std::vector<float> pcmData;

private:
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
};
