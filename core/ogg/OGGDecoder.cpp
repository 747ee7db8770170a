#include "core/ogg/OGGDecoder.h"

#include "core/ogg/OpusError.h"

#include <QLoggingCategory>
#include <QtEndian>

#include <opus/opus.h>
#include <opus/opus_multistream.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>

namespace {

Q_LOGGING_CATEGORY(oggLog, "murmo.ogg")

// Input is handed to the sync layer in pieces of this size, as a file reader would.
constexpr qsizetype kPieceSize = 200;

int32_t nearestOpusRate(uint32_t inputRate)
{
    // A tie keeps the lower rate, so 20 kHz input decodes at 16 kHz rather than 24 kHz.
    static constexpr int32_t rates[] = {8000, 12000, 16000, 24000, 48000};
    int32_t best = rates[0];
    int64_t bestDistance = std::llabs(int64_t(inputRate) - rates[0]);
    for (const int32_t rate : rates) {
        const int64_t distance = std::llabs(int64_t(inputRate) - rate);
        if (distance < bestDistance) {
            best = rate;
            bestDistance = distance;
        }
    }
    return best;
}

// No Opus stream decodes to more than this many frames at 48 kHz per byte: a one-byte packet of
// 120 ms and its lacing byte.
constexpr qsizetype kMaxFramesPerByte = 2880;

// Frames at 48 kHz that the granule positions of the stream's Opus links add up to, read from
// the page headers alone (no checksums, no decoding).
qsizetype statedFrames48k(QByteArrayView bytes)
{
    struct Link
    {
        int64_t preSkip = 0;
        int64_t end = -1;
    };
    std::map<uint32_t, Link> links;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    constexpr qsizetype kHeader = 27;
    qsizetype pos = bytes.indexOf("OggS");
    while (pos >= 0 && pos + kHeader <= size) {
        const unsigned char* header = data + pos;
        const qsizetype bodyStart = pos + kHeader + header[26];
        qsizetype next = bodyStart;
        for (int i = 0; bodyStart <= size && i < header[26]; ++i)
            next += header[kHeader + i];
        if (next > size) {
            pos = bytes.indexOf("OggS", pos + 1);
            continue;
        }
        const uint32_t serial = qFromLittleEndian<uint32_t>(header + 14);
        const int64_t granule = qFromLittleEndian<int64_t>(header + 6);
        if ((header[5] & 0x02) && next - bodyStart >= 12 && std::memcmp(data + bodyStart, "OpusHead", 8) == 0)
            links[serial] = Link{qFromLittleEndian<uint16_t>(data + bodyStart + 10), -1};
        else if (const auto link = links.find(serial); link != links.end() && granule >= 0)
            link->second.end = granule;
        pos = next + 4 <= size && std::memcmp(data + next, "OggS", 4) == 0 ? next : bytes.indexOf("OggS", pos + 1);
    }
    const qsizetype bound = size * kMaxFramesPerByte;
    qsizetype total = 0;
    for (const auto& [serial, link] : links) {
        if (link.end > link.preSkip)
            total += qsizetype(std::min<int64_t>(link.end - link.preSkip, bound));
        if (total >= bound)
            return bound;
    }
    return total;
}

} // namespace

qsizetype OGGDecoder::statedFrames(QByteArrayView audioData, int32_t sampleRate)
{
    return qsizetype(int64_t(statedFrames48k(audioData)) * sampleRate / 48000);
}

OGGDecoder::OGGDecoder(QByteArrayView audioData, qsizetype maxOutput)
    : m_maxOutput(maxOutput)
    , m_statedFrames48k(statedFrames48k(audioData))
{
    decodeAll(audioData);
}

OGGDecoder::OGGDecoder(QByteArrayView audioData, Sink& sink, qsizetype maxOutput)
    : m_maxOutput(maxOutput)
    , m_sink(&sink)
{
    decodeAll(audioData);
}

void OGGDecoder::decodeAll(QByteArrayView audioData)
{
    ogg_sync_init(&m_syncState);
    try {
        for (qsizetype offset = 0; offset < audioData.size(); offset += kPieceSize) {
            const qsizetype piece = std::min(kPieceSize, audioData.size() - offset);
            char* buffer = ogg_sync_buffer(&m_syncState, long(piece));
            if (!buffer)
                throw OpusError(OpusError::Code::AllocationFailure);
            std::memcpy(buffer, audioData.data() + offset, size_t(piece));
            ogg_sync_wrote(&m_syncState, long(piece));
            while (ogg_sync_pageout(&m_syncState, &m_page) == 1)
                readPage();
        }
        if (m_totalLinks == 0) {
            qCWarning(oggLog, "Does not look like an opus file.");
            throw OpusError(OpusError::Code::InvalidState);
        }
    } catch (...) {
        release();
        throw;
    }
    release();
}

OGGDecoder::~OGGDecoder()
{
    release();
}

void OGGDecoder::destroyDecoder()
{
    if (m_plainDecoder) {
        opus_decoder_destroy(m_plainDecoder);
        m_plainDecoder = nullptr;
    }
    if (m_decoder) {
        opus_multistream_decoder_destroy(m_decoder);
        m_decoder = nullptr;
    }
}

void OGGDecoder::release()
{
    destroyDecoder();
    if (!m_beginStream) {
        ogg_stream_clear(&m_streamState);
        m_beginStream = true;
    }
    ogg_sync_clear(&m_syncState);
    m_pcmDataBuffer = {};
}

void OGGDecoder::readPage()
{
    const int serial = ogg_page_serialno(&m_page);
    if (m_beginStream) {
        ogg_stream_init(&m_streamState, serial);
        m_beginStream = false;
    }
    if (serial != m_streamState.serialno)
        ogg_stream_reset_serialno(&m_streamState, serial);
    ogg_stream_pagein(&m_streamState, &m_page);
    m_pageGranulePosition = ogg_page_granulepos(&m_page);
    while (ogg_stream_packetout(&m_streamState, &m_packet) == 1) {
        if (m_packet.bytes >= 8 && std::memcmp(m_packet.packet, "OpusHead", 8) == 0) {
            if (m_hasOpusStream && m_hasTagsPacket) {
                destroyDecoder();
                m_hasOpusStream = false;
            }
            if (!m_hasOpusStream)
                startLink();
            else
                qCWarning(oggLog, "Warning: ignoring opus stream.");
        }
        // Packets of other logical streams (a video or a second audio track) are not ours.
        if (!m_hasOpusStream || m_streamState.serialno != m_opusSerialNumber)
            return;
        handlePacket();
        ++m_packetCount;
    }
}

void OGGDecoder::startLink()
{
    if (m_packetCount > 0 && m_streamState.serialno == m_opusSerialNumber) {
        qCWarning(oggLog, "Apparent chaining without changing serial number. Something bad happened.");
        throw OpusError(OpusError::Code::InternalError);
    }
    m_opusSerialNumber = m_streamState.serialno;
    m_hasOpusStream = true;
    m_hasTagsPacket = false;
    m_linkOut = 0;
    m_packetCount = 0;
    ++m_totalLinks;
}

bool OGGDecoder::morePacketsOnPage()
{
    // A header page must hold its header alone and end with it.
    ogg_packet next;
    return ogg_stream_packetout(&m_streamState, &next) != 0 || m_page.header[m_page.header_len - 1] == 255;
}

void OGGDecoder::handlePacket()
{
    if (m_packetCount == 0) {
        readIdentificationHeader();
    } else if (m_packetCount == 1) {
        m_hasTagsPacket = true;
        if (morePacketsOnPage()) {
            qCWarning(oggLog, "Extra packets on initial tags page. Invalid stream.");
            throw OpusError(OpusError::Code::InvalidPacket);
        }
    } else {
        decodeAudio();
    }
}

void OGGDecoder::readIdentificationHeader()
{
    if (!opus_header_parse(m_packet.packet, int(std::min<long>(m_packet.bytes, 1 << 30)), &m_header))
        throw OpusError(OpusError::Code::InvalidPacket);
    const int32_t rate = nearestOpusRate(m_header.input_sample_rate);
    if (!m_sink && m_totalLinks > 1 && (rate != sampleRate || m_header.channels != numChannels)) {
        qCWarning(oggLog, "Chained links differ in sample rate or channel count.");
        throw OpusError(OpusError::Code::Unimplemented,
                        QStringLiteral("音频文件的各段采样率或声道数不同，无法合成一段音频"));
    }
    numChannels = m_header.channels;
    sampleRate = rate;
    // Pre-skip is counted at 48 kHz whatever rate the stream is decoded at.
    m_preSkip = int32_t(int64_t(m_header.preskip) * sampleRate / 48000);

    destroyDecoder();
    bool plain = m_header.nb_streams == 1 && numChannels == 1 + m_header.nb_coupled;
    for (int c = 0; plain && c < numChannels; ++c)
        plain = m_header.stream_map[size_t(c)] == c;
    int error = OPUS_OK;
    if (plain)
        m_plainDecoder = opus_decoder_create(sampleRate, numChannels, &error);
    else
        m_decoder = opus_multistream_decoder_create(sampleRate, numChannels, m_header.nb_streams, m_header.nb_coupled,
                                                    m_header.stream_map.data(), &error);
    if (error != OPUS_OK || (!m_plainDecoder && !m_decoder))
        throw OpusError(OpusError::Code::BadArgument);
    if (morePacketsOnPage())
        throw OpusError(OpusError::Code::InvalidPacket);
    m_granOffset = m_header.preskip;
    m_pcmDataBuffer.assign(size_t(numChannels) * MAX_FRAME_SIZE, 0.0f);
    if (m_sink) {
        m_sink->format(sampleRate, numChannels);
    } else if (m_totalLinks == 1) {
        // Growing a long recording's buffer as it decodes costs more than the Ogg layer itself.
        const qsizetype stated = qsizetype(int64_t(m_statedFrames48k) * sampleRate / 48000) * numChannels;
        pcmData.reserve(size_t(std::min(stated, m_maxOutput)));
    }
}

void OGGDecoder::decodeAudio()
{
    const int decoded = m_plainDecoder
                            ? opus_decode_float(m_plainDecoder, m_packet.packet, opus_int32(m_packet.bytes),
                                                m_pcmDataBuffer.data(), MAX_FRAME_SIZE, 0)
                            : opus_multistream_decode_float(m_decoder, m_packet.packet, opus_int32(m_packet.bytes),
                                                            m_pcmDataBuffer.data(), MAX_FRAME_SIZE, 0);
    if (decoded < 0) {
        qCWarning(oggLog, "Decoding error: %s", opus_strerror(decoded));
        throw OpusError(OpusError::Code::InternalError);
    }
    m_frameSize = decoded;
    // Counted whether kept or not, so that a stream of packets that are decoded and then dropped
    // cannot keep the decoder busy for hours either.
    m_decodedTotal += qsizetype(decoded) * numChannels;
    if (m_decodedTotal > m_maxOutput) {
        qCWarning(oggLog, "Decoded audio is too long.");
        throw OpusError(OpusError::Code::BufferTooSmall);
    }
    int32_t skipped = 0;
    if (m_preSkip > 0) {
        skipped = std::min(decoded, m_preSkip);
        m_preSkip -= skipped;
    }
    // The page's granule position is where the link's output ends once its last packet on the
    // page is decoded; samples beyond it are the encoder's padding. It comes from the file and
    // may be anything, so the arithmetic must not overflow.
    int64_t kept = decoded - skipped;
    if (m_pageGranulePosition <= m_granOffset) {
        kept = 0;
    } else {
        const int64_t span = m_pageGranulePosition - m_granOffset;
        if (span <= std::numeric_limits<int64_t>::max() / sampleRate)
            kept = std::clamp<int64_t>(span * sampleRate / 48000 - m_linkOut, 0, kept);
    }
    if (kept == 0)
        return;
    const float* first = m_pcmDataBuffer.data() + size_t(skipped) * size_t(numChannels);
    if (m_sink)
        m_sink->audio(first, qsizetype(kept));
    else
        pcmData.insert(pcmData.end(), first, first + size_t(kept) * size_t(numChannels));
    m_linkOut += kept;
}
