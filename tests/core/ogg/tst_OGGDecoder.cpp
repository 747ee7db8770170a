#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OGGEncoder.h"
#include "core/ogg/OpusError.h"
#include "tests/core/ogg/OggPages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <ogg/ogg.h>
#include <opus/opus.h>

using namespace OggPages;

namespace {

QByteArray encodeStream(const std::vector<float>& samples, int rate = 16000)
{
    OGGEncoder encoder(rate, 1, 2, rate, OGGEncoder::Application::Audio);
    encoder.encode(pcm16(samples));
    encoder.finish();
    return encoder.bitstream(true);
}

// Samples at 16 kHz that a decoder drops at the start of our streams.
int preSkip16k()
{
    return OGGEncoder(16000, 1, 2, 16000, OGGEncoder::Application::Audio).preSkip() / 3;
}

QList<Page> pagesOf(const QByteArray& bytes)
{
    const std::optional<QList<Page>> pages = parse(bytes);
    if (!pages)
        qFatal("not a clean sequence of Ogg pages");
    return *pages;
}

// Builds a stream packet by packet with libogg, for layouts our encoder never writes. Each
// inner list is one page.
QByteArray assemble(const QList<QList<QByteArray>>& pagesOfPackets, int serial = 77)
{
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    QByteArray out;
    int64_t number = 0;
    for (const QList<QByteArray>& page : pagesOfPackets) {
        for (const QByteArray& bytes : page) {
            ogg_packet packet{};
            packet.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.constData()));
            packet.bytes = long(bytes.size());
            packet.b_o_s = number == 0;
            packet.granulepos = number < 2 ? 0 : (number - 1) * 960;
            packet.packetno = number++;
            ogg_stream_packetin(&stream, &packet);
        }
        ogg_page og;
        while (ogg_stream_flush(&stream, &og) != 0) {
            out.append(reinterpret_cast<const char*>(og.header), og.header_len);
            out.append(reinterpret_cast<const char*>(og.body), og.body_len);
        }
    }
    ogg_stream_clear(&stream);
    return out;
}

const QByteArray kIdentification("OpusHead\x01\x01\x00\x00\x80\x3e\x00\x00\x00\x00\x00", 19);
const QByteArray kTags("OpusTags\x00\x00\x00\x00\x00\x00\x00\x00", 16);

QList<QByteArray> realPackets(int count)
{
    return audioPackets(pagesOf(encodeStream(speechLike(size_t(count) * 320))));
}

template <typename Call> OpusError::Code failureOf(Call call)
{
    try {
        call();
    } catch (const OpusError& error) {
        return error.code();
    }
    return OpusError::Code::Okay;
}

OpusError::Code failureOf(const QByteArray& bytes)
{
    return failureOf([&] { OGGDecoder decoder(bytes); });
}

} // namespace

class TestOGGDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEverySample_data()
    {
        QTest::addColumn<int>("samples");
        QTest::newRow("one second") << 16000;
        QTest::newRow("one second and a bit") << 16100;
        QTest::newRow("one packet") << 320;
        QTest::newRow("less than a packet") << 100;
        QTest::newRow("one minute") << 16000 * 60;
    }

    void roundTripKeepsEverySample()
    {
        QFETCH(int, samples);
        const std::vector<float> input = speechLike(size_t(samples));
        OGGDecoder decoder(encodeStream(input));
        QCOMPARE(decoder.sampleRate, 16000);
        QCOMPARE(decoder.numChannels, 1);
        QCOMPARE(qsizetype(decoder.pcmData.size()), qsizetype(samples));
        // Lossy, but recognisably the same waveform, and in step with the input: the pre-skip
        // takes away exactly the codec's delay.
        const size_t window = std::min<size_t>(input.size(), 16000);
        const std::vector<float> head(input.begin(), input.begin() + ptrdiff_t(window));
        const std::vector<float> decodedHead(decoder.pcmData.begin(), decoder.pcmData.begin() + ptrdiff_t(window));
        QVERIFY2(bestCorrelation(head, decodedHead, 0) > 0.9, "the decoded audio does not match the input");
    }

    void notAnOpusStream_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("WAV") << WavEncoder::encode(speechLike(1600), 16000);
        QTest::newRow("noise") << QByteArray(5000, '\x5a');
        QTest::newRow("Ogg without Opus") << assemble({{QByteArray("\x01vorbis", 7)}, {QByteArray("x")}});
        QTest::newRow("headers cut off") << encodeStream(speechLike(16000)).left(30);
    }

    void notAnOpusStream()
    {
        QFETCH(QByteArray, bytes);
        QTest::ignoreMessage(QtWarningMsg, "Does not look like an opus file.");
        QCOMPARE(failureOf(bytes), OpusError::Code::InvalidState);
    }

    void truncatedStreamsGiveWhatArrived_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::newRow("a quarter") << 0.25;
        QTest::newRow("half") << 0.5;
        QTest::newRow("all but one byte") << 0.9999;
    }

    void truncatedStreamsGiveWhatArrived()
    {
        QFETCH(double, fraction);
        const QByteArray whole = encodeStream(speechLike(16000 * 30));
        OGGDecoder decoder(whole.left(qsizetype(double(whole.size()) * fraction)));
        QVERIFY(decoder.pcmData.size() < 16000 * 30);
        QVERIFY(decoder.pcmData.size() > 0);
        // Whole packets up to where the stream was cut, less the pre-skip.
        QCOMPARE((decoder.pcmData.size() + size_t(preSkip16k())) % 320, size_t(0));
    }

    void damagedPagesAreSkipped()
    {
        QList<Page> pages = pagesOf(encodeStream(speechLike(16000 * 30)));
        QVERIFY(pages.size() >= 4);
        QByteArray bytes = serialiseAll(pages);
        // A flipped bit in an audio page breaks its checksum: the page is lost, nothing else.
        bytes[bytes.size() - 10] = char(bytes[bytes.size() - 10] ^ 0x10);
        OGGDecoder decoder(bytes);
        QVERIFY(decoder.pcmData.size() < 16000 * 30);
        QVERIFY(decoder.pcmData.size() > 16000 * 20);
    }

    void undecodablePacketIsAnError()
    {
        QList<QByteArray> audio = realPackets(3);
        // Code 3 with a frame count of zero: no valid Opus packet looks like this.
        audio[1] = QByteArray("\x0b\x00", 2);
        QTest::ignoreMessage(QtWarningMsg, QByteArray("Decoding error: ") + opus_strerror(OPUS_INVALID_PACKET));
        QCOMPARE(failureOf(assemble({{kIdentification}, {kTags}, audio})), OpusError::Code::InternalError);
    }

    void headerPagesMustHoldTheirHeaderAlone()
    {
        const QList<QByteArray> audio = realPackets(2);
        QTest::ignoreMessage(QtWarningMsg, "Extra packets on initial tags page. Invalid stream.");
        QCOMPARE(failureOf(assemble({{kIdentification}, {kTags, audio[0]}, {audio[1]}})),
                 OpusError::Code::InvalidPacket);

        // libogg always pages the first packet alone, so this layout is built by hand.
        QList<Page> pages = pagesOf(encodeStream(speechLike(3200)));
        pages[0].lacing += pages[1].lacing;
        pages[0].body += pages[1].body;
        pages.removeAt(1);
        for (qsizetype i = 0; i < pages.size(); ++i)
            pages[i].sequence = uint32_t(i);
        QCOMPARE(failureOf(serialiseAll(pages)), OpusError::Code::InvalidPacket);
        QCOMPARE(failureOf(assemble({{kIdentification + "x"}, {kTags}, audio})), OpusError::Code::InvalidPacket);
    }

    void outputRateIsTheOpusRateNearestTheInput_data()
    {
        QTest::addColumn<uint32_t>("inputRate");
        QTest::addColumn<int>("sampleRate");
        QTest::newRow("16000") << 16000u << 16000;
        QTest::newRow("44100") << 44100u << 48000;
        QTest::newRow("11025") << 11025u << 12000;
        QTest::newRow("20000 ties low") << 20000u << 16000;
        QTest::newRow("0") << 0u << 8000;
        QTest::newRow("huge") << 4000000000u << 48000;
    }

    void outputRateIsTheOpusRateNearestTheInput()
    {
        QFETCH(uint32_t, inputRate);
        QFETCH(int, sampleRate);
        QList<Page> pages = pagesOf(encodeStream(speechLike(16000)));
        qToLittleEndian<uint32_t>(inputRate, pages[0].body.data() + 12);
        OGGDecoder decoder(serialiseAll(pages));
        QCOMPARE(decoder.sampleRate, sampleRate);
        QCOMPARE(qsizetype(decoder.pcmData.size()), qsizetype(sampleRate));
    }

    void outputIsBounded()
    {
        // Each empty packet decodes to 120 ms of concealment: a few hundred bytes asking for
        // minutes of audio.
        const QList<QByteArray> empties(255, QByteArray());
        QList<QList<QByteArray>> pages{{kIdentification}, {kTags}};
        for (int i = 0; i < 8; ++i)
            pages.append(empties);
        QTest::ignoreMessage(QtWarningMsg, "Decoded audio is too long.");
        try {
            OGGDecoder decoder(assemble(pages), 16000 * 60);
            QFAIL("the decoder produced more than it was allowed to");
        } catch (const OpusError& error) {
            QCOMPARE(error.code(), OpusError::Code::BufferTooSmall);
        }

        // The limit counts every decoded sample, those trimmed away included.
        const QByteArray second = encodeStream(speechLike(16000));
        const qsizetype decoded = audioPackets(pagesOf(second)).size() * 320;
        QCOMPARE(OGGDecoder(second, decoded).pcmData.size(), size_t(16000));
        QTest::ignoreMessage(QtWarningMsg, "Decoded audio is too long.");
        QCOMPARE(failureOf([&] { OGGDecoder decoder(second, decoded - 1); }), OpusError::Code::BufferTooSmall);
    }

    void channelMappingsBeyondPlainStreams()
    {
        // The mono stream relabelled as two channels whose second one is silent (mapping 255),
        // which takes the multistream decoder.
        const QByteArray mono = encodeStream(speechLike(16000));
        QList<Page> pages = pagesOf(mono);
        QByteArray header = pages[0].body;
        header[9] = 2;
        header[18] = 1;
        header.append(QByteArray("\x01\x00\x00\xff", 4));
        pages[0].body = header;
        pages[0].lacing = QByteArray(1, char(header.size()));
        OGGDecoder mapped(serialiseAll(pages));
        OGGDecoder plain(mono);
        QCOMPARE(mapped.numChannels, 2);
        QCOMPARE(mapped.pcmData.size(), size_t(32000));
        for (size_t i = 0; i < 16000; ++i) {
            QCOMPARE(mapped.pcmData[2 * i + 1], 0.0f);
            QCOMPARE(mapped.pcmData[2 * i], plain.pcmData[i]);
        }
    }

    void chainedStreamsDecodeLinkAfterLink()
    {
        OGGDecoder decoder(encodeStream(speechLike(16000)) + encodeStream(speechLike(8000)));
        QCOMPARE(decoder.pcmData.size(), size_t(24000));
    }

    void chainedLinksOfDifferentFormats()
    {
        const QByteArray chain = encodeStream(speechLike(16000)) + encodeStream(speechLike(4800, 48000), 48000);
        // One buffer has one rate: mixing the links into it would play the second one too slowly.
        QTest::ignoreMessage(QtWarningMsg, "Chained links differ in sample rate or channel count.");
        QCOMPARE(failureOf(chain), OpusError::Code::Unimplemented);

        struct Recorder : OGGDecoder::Sink
        {
            QList<std::pair<int, int>> formats;
            QList<qsizetype> frames;
            void format(int32_t rate, int32_t channels) override
            {
                formats.append({rate, channels});
                frames.append(0);
            }
            void audio(const float*, qsizetype count) override
            {
                QVERIFY(count <= OGGDecoder::MAX_FRAME_SIZE);
                frames.back() += count;
            }
        } recorder;
        OGGDecoder decoder(chain, recorder);
        QVERIFY(decoder.pcmData.empty());
        QCOMPARE(recorder.formats, (QList<std::pair<int, int>>{{16000, 1}, {48000, 1}}));
        QCOMPARE(recorder.frames, (QList<qsizetype>{16000, 4800}));
    }

    void statedLengthComesFromThePages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qsizetype>("frames");
        const QByteArray second = encodeStream(speechLike(16000));
        QTest::newRow("one link") << second << 16000 << qsizetype(16000);
        QTest::newRow("at another rate") << second << 48000 << qsizetype(48000);
        QTest::newRow("chained") << second + encodeStream(speechLike(4800, 48000), 48000) << 16000 << qsizetype(17600);
        QTest::newRow("behind garbage") << QByteArray(1000, 'x') + second << 16000 << qsizetype(16000);
        QTest::newRow("not Ogg") << QByteArray(5000, 'x') << 16000 << qsizetype(0);
        QList<Page> lying = pagesOf(second);
        lying.back().granulePosition = int64_t(1) << 60;
        const QByteArray lie = serialiseAll(lying);
        // Never more than the input's size could hold, however large the claim.
        QTest::newRow("lying") << lie << 48000 << qsizetype(lie.size() * 2880);
    }

    void statedLengthComesFromThePages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rate);
        QFETCH(qsizetype, frames);
        QCOMPARE(OGGDecoder::statedFrames(bytes, rate), frames);
    }

    void chainingWithoutANewSerialIsAnError()
    {
        const QByteArray first = encodeStream(speechLike(3200));
        QList<Page> second = pagesOf(encodeStream(speechLike(3200)));
        const uint32_t serial = pagesOf(first)[0].serial;
        for (Page& page : second)
            page.serial = serial;
        QTest::ignoreMessage(QtWarningMsg, "Apparent chaining without changing serial number. Something bad happened.");
        QCOMPARE(failureOf(first + serialiseAll(second)), OpusError::Code::InternalError);
    }

    void otherLogicalStreamsAreSkipped()
    {
        QList<Page> opus = pagesOf(encodeStream(speechLike(16000)));
        const QList<Page> other = pagesOf(assemble({{QByteArray("\x80theora", 7)}, {QByteArray(300, 'v')}}, 5));
        // Multiplexed: the other stream's pages sit between ours.
        QList<Page> mixed{opus[0], other[0], opus[1], other[1]};
        mixed.append(opus.mid(2));
        OGGDecoder decoder(serialiseAll(mixed));
        QCOMPARE(decoder.pcmData.size(), size_t(16000));
    }

    void preSkipAndEndTrimming()
    {
        // A pre-skip of 300 (at 48 kHz: 100 samples here) and an end 1930 samples at 48 kHz
        // short of a second, which ends the output inside the last packet but one.
        QList<Page> pages = pagesOf(encodeStream(speechLike(16000)));
        qToLittleEndian<uint16_t>(300, pages[0].body.data() + 10);
        pages.back().granulePosition = 300 + 48000 - 1930;
        OGGDecoder decoder(serialiseAll(pages));
        QCOMPARE(qsizetype(decoder.pcmData.size()), qsizetype((48000 - 1930) / 3));
    }

    void recordingsOfEarlierVersionsDecodeAsBefore()
    {
        // Written before recordings carried a pre-skip and an end: pre-skip 0, no end-of-stream
        // page, the last partial packet never encoded. Every packet is kept whole, as it was.
        const QByteArray legacy = readFile(QFINDTESTDATA("data/legacy-recording.ogg"));
        const QList<Page> pages = pagesOf(legacy);
        QVERIFY2(!pages.isEmpty(), "data/legacy-recording.ogg was not found or holds no page");
        QCOMPARE(qFromLittleEndian<uint16_t>(pages[0].body.constData() + 10), uint16_t(0));
        QVERIFY(!pages.back().endOfStream());
        std::vector<float> bare;
        OpusDecoder* opus = opus_decoder_create(16000, 1, nullptr);
        for (const QByteArray& packet : audioPackets(pages)) {
            float frame[OGGDecoder::MAX_FRAME_SIZE];
            const int n = opus_decode_float(opus, reinterpret_cast<const unsigned char*>(packet.constData()),
                                            opus_int32(packet.size()), frame, OGGDecoder::MAX_FRAME_SIZE, 0);
            bare.insert(bare.end(), frame, frame + std::max(n, 0));
        }
        opus_decoder_destroy(opus);
        QCOMPARE(bare.size(), size_t(16000));
        QVERIFY(OGGDecoder(legacy).pcmData == bare);
    }
};

MURMO_TEST(TestOGGDecoder)
#include "tst_OGGDecoder.moc"
