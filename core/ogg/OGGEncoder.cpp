#include "core/ogg/OGGEncoder.h"

#include "core/ogg/OggError.h"
#include "core/ogg/OpusError.h"
#include "core/ogg/OpusHeaders.h"

#include <QRandomGenerator>

#include <opus/opus.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// The name this program signs its recordings with in the comment header.
const QString kEncoderName = QStringLiteral("Murmo");

int opusApplication(OGGEncoder::Application application)
{
    switch (application) {
    case OGGEncoder::Application::Voip:
        return OPUS_APPLICATION_VOIP;
    case OGGEncoder::Application::LowDelay:
        return OPUS_APPLICATION_RESTRICTED_LOWDELAY;
    case OGGEncoder::Application::Audio:
        break;
    }
    return OPUS_APPLICATION_AUDIO;
}

} // namespace

OGGEncoder::OGGEncoder(const PcmFormat& format, int32_t opusRate, Application application)
    : OGGEncoder(int32_t(format.sampleRate), format.channelsPerFrame, format.bytesPerFrame, opusRate, application)
{}

OGGEncoder::OGGEncoder(int32_t pcmRate, int32_t pcmChannels, uint32_t pcmBytesPerFrame, int32_t opusRate,
                       Application application)
{
    if (pcmRate != opusRate) {
        std::puts("Resampling is not supported. Please ensure that the PCM and Opus sample rates match.");
        std::fflush(stdout);
        throw OggError(OggError::Kind::InternalError);
    }
    // libopus reads exactly channels x 16 bits per frame; any other layout would make it read
    // past the packet's bytes.
    if (pcmChannels < 1 || pcmChannels > 255 || pcmBytesPerFrame != uint32_t(pcmChannels) * 2)
        throw OpusError(OpusError::Code::BadArgument);
    if (opusRate <= 0 || opusRate > 48000 || 48000 % opusRate != 0)
        throw OpusError(OpusError::Code::BadArgument);

    m_opusRate = opusRate;
    m_pcmBytesPerFrame = pcmBytesPerFrame;
    m_frameSize = 960 / (48000 / opusRate);

    if (ogg_stream_init(&m_stream, int(QRandomGenerator::global()->generate())) != 0)
        throw OggError(OggError::Kind::InternalError);
    m_streamReady = true;

    int result = OPUS_OK;
    m_encoder = opus_encoder_create(opusRate, pcmChannels, opusApplication(application), &result);
    if (result != OPUS_OK || !m_encoder) {
        ogg_stream_clear(&m_stream);
        throw OpusError::fromResult(result == OPUS_OK ? OPUS_ALLOC_FAIL : result);
    }
    m_packetBuffer.resize(maxFrameSize);

    try {
        opus_int32 lookahead = 0;
        if (opus_encoder_ctl(m_encoder, OPUS_GET_LOOKAHEAD(&lookahead)) != OPUS_OK)
            throw OpusError(OpusError::Code::InternalError);
        m_preSkip = int32_t(lookahead * (48000 / opusRate));

        Header header;
        header.outputChannels = uint8_t(pcmChannels);
        header.preskip = uint16_t(m_preSkip);
        header.inputSampleRate = uint32_t(pcmRate);
        const QByteArray identification = header.toBytes();
        submit(reinterpret_cast<const unsigned char*>(identification.constData()), long(identification.size()), 0,
               true);
        flushHeaderPages();

        CommentHeader comments;
        comments.vendorString = QString::fromUtf8(opus_get_version_string());
        comments.userComments.append(Comment{QStringLiteral("ENCODER=") + kEncoderName});
        const QByteArray tags = comments.toBytes();
        submit(reinterpret_cast<const unsigned char*>(tags.constData()), long(tags.size()), 0, false);
        flushHeaderPages();
    } catch (...) {
        opus_encoder_destroy(m_encoder);
        ogg_stream_clear(&m_stream);
        throw;
    }
}

OGGEncoder::~OGGEncoder()
{
    if (m_streamReady)
        ogg_stream_clear(&m_stream);
    if (m_encoder)
        opus_encoder_destroy(m_encoder);
}

void OGGEncoder::encode(QByteArrayView pcm)
{
    if (m_finished)
        throw OggError(OggError::Kind::InternalError);
    if (pcm.size() % qsizetype(m_pcmBytesPerFrame) != 0)
        throw OpusError(OpusError::Code::InternalError);
    m_framesIn += pcm.size() / qsizetype(m_pcmBytesPerFrame);
    const qsizetype packetBytes = qsizetype(m_frameSize) * qsizetype(m_pcmBytesPerFrame);
    const char* data = pcm.data();
    qsizetype remaining = pcm.size();

    if (!m_pcmCache.isEmpty() && m_pcmCache.size() + remaining >= packetBytes) {
        const qsizetype taken = packetBytes - m_pcmCache.size();
        m_pcmCache.append(data, taken);
        data += taken;
        remaining -= taken;
        const QByteArray packet = std::exchange(m_pcmCache, {});
        encodePacket(packet.constData());
    }
    while (remaining >= packetBytes) {
        encodePacket(data);
        data += packetBytes;
        remaining -= packetBytes;
    }
    if (remaining > 0)
        m_pcmCache.append(data, remaining);
}

void OGGEncoder::encode(const int16_t* pcm, qsizetype byteCount)
{
    encode(QByteArrayView(reinterpret_cast<const char*>(pcm), byteCount));
}

void OGGEncoder::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    const int64_t rateFactor = 48000 / m_opusRate;
    // The decoder's output lags the input by the look-ahead, so that much silence beyond the last
    // sample is encoded too; the end position then trims what lies past the last sample.
    const int64_t end = m_preSkip + m_framesIn * rateFactor;
    const qsizetype packetBytes = qsizetype(m_frameSize) * qsizetype(m_pcmBytesPerFrame);
    qsizetype pending = m_pcmCache.size() + qsizetype(m_preSkip / rateFactor) * qsizetype(m_pcmBytesPerFrame);
    QByteArray packet = std::exchange(m_pcmCache, {});
    packet.resize(packetBytes, '\0');
    while (pending > 0) {
        pending -= packetBytes;
        encodePacket(packet.constData(), pending <= 0 ? std::optional(end) : std::nullopt);
        packet.fill('\0');
    }
}

void OGGEncoder::encodePacket(const char* pcm, std::optional<int64_t> endPosition)
{
    const size_t values = size_t(m_frameSize) * m_pcmBytesPerFrame / 2;
    const opus_int16* samples = reinterpret_cast<const opus_int16*>(pcm);
    if (reinterpret_cast<uintptr_t>(pcm) % alignof(opus_int16) != 0) {
        m_alignedPcm.resize(values);
        std::memcpy(m_alignedPcm.data(), pcm, values * 2);
        samples = m_alignedPcm.data();
    }
    const opus_int32 bytes = opus_encode(m_encoder, samples, m_frameSize, m_packetBuffer.data(), maxFrameSize);
    if (bytes < 0)
        throw OpusError(OpusError::Code::InternalError);
    m_granulePosition += int64_t(m_frameSize) * 48000 / m_opusRate;
    submit(m_packetBuffer.data(), bytes, endPosition.value_or(m_granulePosition), false, endPosition.has_value());
}

void OGGEncoder::submit(const unsigned char* data, long size, int64_t granulePosition, bool beginOfStream,
                        bool endOfStream)
{
    ogg_packet packet{};
    // libogg copies the bytes and never writes through this pointer.
    packet.packet = const_cast<unsigned char*>(data);
    packet.bytes = size;
    packet.b_o_s = beginOfStream ? 1 : 0;
    packet.e_o_s = endOfStream ? 1 : 0;
    packet.granulepos = granulePosition;
    packet.packetno = m_packetNumber;
    if (ogg_stream_packetin(&m_stream, &packet) != 0)
        throw OggError(OggError::Kind::InternalError);
    ++m_packetNumber;
}

void OGGEncoder::flushHeaderPages()
{
    ogg_page page;
    while (ogg_stream_flush(&m_stream, &page) != 0)
        appendPage(page);
}

void OGGEncoder::appendPage(const ogg_page& page)
{
    m_oggCache.append(reinterpret_cast<const char*>(page.header), qsizetype(page.header_len));
    m_oggCache.append(reinterpret_cast<const char*>(page.body), qsizetype(page.body_len));
}

QByteArray OGGEncoder::bitstream(bool flush, std::optional<int32_t> fillBytes)
{
    ogg_page page;
    const auto next = [&] {
        if (flush)
            return fillBytes ? ogg_stream_flush_fill(&m_stream, &page, *fillBytes) : ogg_stream_flush(&m_stream, &page);
        return fillBytes ? ogg_stream_pageout_fill(&m_stream, &page, *fillBytes) : ogg_stream_pageout(&m_stream, &page);
    };
    while (next() != 0)
        appendPage(page);
    return std::exchange(m_oggCache, {});
}
