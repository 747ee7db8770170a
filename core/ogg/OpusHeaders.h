#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

// The two header packets that open every Ogg/Opus stream (RFC 7845): how this program writes them
// and how it accepts an identification header when reading.

enum class ChannelMappingFamily : uint8_t
{
    Rtp = 0,
    Vorbis = 1,
    Undefined = 255,
};

// The identification header as written: always 19 bytes, gain 0 because the encoder does not
// scale what it is given; the encoder sets the pre-skip to its codec's look-ahead.
struct Header
{
    static constexpr char magicSignature[9] = "OpusHead";
    static constexpr qsizetype size = 19;

    uint8_t version = 1;
    uint8_t outputChannels = 1;
    uint16_t preskip = 0;
    uint32_t inputSampleRate = 0;
    int16_t outputGain = 0;
    ChannelMappingFamily channelMappingFamily = ChannelMappingFamily::Rtp;

    QByteArray toBytes() const;
};

struct Comment
{
    QString comment;

    QByteArray toBytes() const;
};

// The comment header: the vendor string of the linked libopus and our own comments.
struct CommentHeader
{
    static constexpr char magicSignature[9] = "OpusTags";

    QString vendorString;
    QList<Comment> userComments;

    QByteArray toBytes() const;
};

// An identification header as read from a stream; the field names follow the reference
// implementation of the format so that the parse rules can be checked against it.
struct OpusHeader
{
    int version = 0;
    int channels = 0;
    int preskip = 0;
    uint32_t input_sample_rate = 0;
    int gain = 0;
    int channel_mapping = 0;
    int nb_streams = 0;
    int nb_coupled = 0;
    std::array<unsigned char, 255> stream_map{};
};

// 1 when packet is an identification header this program can decode (header filled in), else 0.
int opus_header_parse(const unsigned char* packet, int len, OpusHeader* header);
