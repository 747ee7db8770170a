#include "core/ogg/OpusHeaders.h"

#include <QtEndian>

#include <cstring>

namespace {

template <typename T> void append(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, qsizetype(sizeof(T)));
}

// Reads the packet front to back; every read past its end marks the header as rejected.
class PacketReader
{
public:
    PacketReader(const unsigned char* data, int len)
        : m_data(data)
        , m_len(len)
    {}

    bool byte(int& out)
    {
        if (m_pos + 1 > m_len)
            return false;
        out = m_data[m_pos++];
        return true;
    }

    bool uint16(int& out)
    {
        if (m_pos + 2 > m_len)
            return false;
        out = qFromLittleEndian<uint16_t>(m_data + m_pos);
        m_pos += 2;
        return true;
    }

    bool read_uint32(uint32_t& out)
    {
        if (m_pos + 4 > m_len)
            return false;
        out = qFromLittleEndian<uint32_t>(m_data + m_pos);
        m_pos += 4;
        return true;
    }

    int position() const { return m_pos; }

private:
    const unsigned char* m_data;
    int m_len;
    int m_pos = 8;
};

} // namespace

QByteArray Header::toBytes() const
{
    QByteArray out;
    out.reserve(size);
    out.append(magicSignature, 8);
    append<uint8_t>(out, version);
    append<uint8_t>(out, outputChannels);
    append<uint16_t>(out, preskip);
    append<uint32_t>(out, inputSampleRate);
    append<int16_t>(out, outputGain);
    append<uint8_t>(out, uint8_t(channelMappingFamily));
    return out;
}

QByteArray Comment::toBytes() const
{
    const QByteArray text = comment.toUtf8();
    QByteArray out;
    append<uint32_t>(out, uint32_t(text.size()));
    out.append(text);
    return out;
}

QByteArray CommentHeader::toBytes() const
{
    const QByteArray vendor = vendorString.toUtf8();
    QByteArray out(magicSignature, 8);
    append<uint32_t>(out, uint32_t(vendor.size()));
    out.append(vendor);
    append<uint32_t>(out, uint32_t(userComments.size()));
    for (const Comment& comment : userComments)
        out.append(comment.toBytes());
    return out;
}

int opus_header_parse(const unsigned char* packet, int len, OpusHeader* header)
{
    if (!packet || len < Header::size || std::memcmp(packet, Header::magicSignature, 8) != 0)
        return 0;
    PacketReader reader(packet, len);
    OpusHeader h;

    if (!reader.byte(h.version) || h.version > 15)
        return 0;
    if (!reader.byte(h.channels) || h.channels == 0)
        return 0;
    int gain = 0;
    if (!reader.uint16(h.preskip) || !reader.read_uint32(h.input_sample_rate) || !reader.uint16(gain) ||
        !reader.byte(h.channel_mapping))
        return 0;
    h.gain = int16_t(uint16_t(gain));

    if (h.channel_mapping == 0) {
        if (h.channels > 2)
            return 0;
        h.nb_streams = 1;
        h.nb_coupled = h.channels > 1 ? 1 : 0;
        h.stream_map[0] = 0;
        h.stream_map[1] = 1;
    } else {
        if (!reader.byte(h.nb_streams) || h.nb_streams < 1)
            return 0;
        if (!reader.byte(h.nb_coupled) || h.nb_coupled > h.nb_streams || h.nb_streams + h.nb_coupled > 255)
            return 0;
        for (int i = 0; i < h.channels; ++i) {
            int mapping = 0;
            if (!reader.byte(mapping) || (mapping != 255 && mapping >= h.nb_streams + h.nb_coupled))
                return 0;
            h.stream_map[size_t(i)] = static_cast<unsigned char>(mapping);
        }
    }

    // Versions 0 and 1 have a fixed length; later minor versions may append fields we skip.
    if (h.version <= 1 && reader.position() != len)
        return 0;
    if (header)
        *header = h;
    return 1;
}
