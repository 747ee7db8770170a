#include "core/ogg/OGGEncoder.h"
#include "core/ogg/OggError.h"
#include "core/ogg/OpusError.h"
#include "tests/core/ogg/OggPages.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <opus/opus.h>

using namespace OggPages;

namespace {

OGGEncoder makeEncoder(int rate = 16000)
{
    return OGGEncoder(rate, 1, 2, rate, OGGEncoder::Application::Audio);
}

QByteArray le32(uint32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return QByteArray(bytes, 4);
}

QList<Page> pagesOf(const QByteArray& bytes)
{
    const std::optional<QList<Page>> pages = parse(bytes);
    if (!pages)
        qFatal("the encoder wrote bytes that are not a clean sequence of Ogg pages");
    return *pages;
}

} // namespace

class TestOGGEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerPagesComeFirstEachAlone()
    {
        OGGEncoder encoder = makeEncoder();
        const QList<Page> pages = pagesOf(encoder.bitstream(true));
        QCOMPARE(pages.size(), 2);

        const Page& identification = pages[0];
        QCOMPARE(identification.version, uint8_t(0));
        QCOMPARE(identification.headerType, uint8_t(0x02));
        QCOMPARE(identification.granulePosition, 0);
        QCOMPARE(identification.sequence, 0u);
        QCOMPARE(identification.lacing, QByteArray("\x13", 1));
        // Pre-skip 312: the codec's look-ahead of 6.5 ms, counted at 48 kHz.
        QCOMPARE(identification.body, QByteArray("OpusHead\x01\x01\x38\x01\x80\x3e\x00\x00\x00\x00\x00", 19));

        const Page& tags = pages[1];
        QCOMPARE(tags.headerType, uint8_t(0));
        QCOMPARE(tags.granulePosition, 0);
        QCOMPARE(tags.sequence, 1u);
        QCOMPARE(tags.serial, identification.serial);
        const QByteArray vendor(opus_get_version_string());
        const QByteArray expected =
            "OpusTags" + le32(uint32_t(vendor.size())) + vendor + le32(1) + le32(13) + "ENCODER=Murmo";
        QCOMPARE(tags.body, expected);
        QCOMPARE(packets(tags).size(), 1);

        QCOMPARE(encoder.bitstream(true), QByteArray());
    }

    void eachStreamGetsItsOwnSerial()
    {
        OGGEncoder first = makeEncoder();
        OGGEncoder second = makeEncoder();
        QVERIFY(pagesOf(first.bitstream(true))[0].serial != pagesOf(second.bitstream(true))[0].serial);
    }

    void granulePositionsCountEncodedSamples_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("packetCount");
        QTest::addColumn<int>("cachedBytes");
        QTest::newRow("one second") << 16000 << 50 << 0;
        QTest::newRow("one second and a bit") << 16100 << 50 << 200;
        QTest::newRow("less than a packet") << 319 << 0 << 638;
        QTest::newRow("one minute") << 960000 << 3000 << 0;
    }

    void granulePositionsCountEncodedSamples()
    {
        QFETCH(int, samples);
        QFETCH(int, packetCount);
        QFETCH(int, cachedBytes);
        OGGEncoder encoder = makeEncoder();
        encoder.encode(pcm16(speechLike(size_t(samples))));
        QCOMPARE(encoder.cachedPcmBytes(), cachedBytes);
        QCOMPARE(encoder.packetNumber(), 2 + packetCount);
        const QList<Page> pages = pagesOf(encoder.bitstream(true));

        int packetsSoFar = 0;
        for (qsizetype i = 0; i < pages.size(); ++i) {
            const Page& page = pages[i];
            QCOMPARE(page.sequence, uint32_t(i));
            QCOMPARE(page.serial, pages[0].serial);
            QVERIFY(!page.endOfStream());
            QCOMPARE(page.beginOfStream(), i == 0);
            // Every packet starts and ends on one page: nothing continues across a boundary.
            QVERIFY(!page.continued());
            QVERIFY(!page.endsInsidePacket());
            if (i < 2)
                continue;
            packetsSoFar += int(packets(page).size());
            QCOMPARE(page.granulePosition, int64_t(packetsSoFar) * 960);
        }
        QCOMPARE(packetsSoFar, packetCount);
        if (packetCount > 0)
            QCOMPARE(pages.back().granulePosition, int64_t(samples / 320) * 960);
        for (const QByteArray& packet : audioPackets(pages)) {
            // 20 ms at 16 kHz as libopus itself reads the packet.
            QCOMPARE(opus_packet_get_nb_samples(reinterpret_cast<const unsigned char*>(packet.constData()),
                                                opus_int32(packet.size()), 16000),
                     320);
        }
    }

    void finishingEncodesEverySampleAndEndsTheStream_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samples");
        QTest::newRow("one second") << 16000 << 16000;
        QTest::newRow("one second and a bit") << 16000 << 16100;
        QTest::newRow("less than a packet") << 16000 << 319;
        QTest::newRow("nothing") << 16000 << 0;
        QTest::newRow("48 kHz") << 48000 << 48000 + 7;
    }

    void finishingEncodesEverySampleAndEndsTheStream()
    {
        QFETCH(int, rate);
        QFETCH(int, samples);
        OGGEncoder encoder = makeEncoder(rate);
        encoder.encode(pcm16(speechLike(size_t(samples), rate)));
        encoder.finish();
        encoder.finish();
        QCOMPARE(encoder.cachedPcmBytes(), 0);
        const QList<Page> pages = pagesOf(encoder.bitstream(true));
        const int factor = 48000 / rate;
        const int preSkip = encoder.preSkip();
        QCOMPARE(preSkip, 312);
        QCOMPARE(qFromLittleEndian<uint16_t>(pages[0].body.constData() + 10), uint16_t(preSkip));

        // Enough packets for the last sample to come out past the codec's delay, and no more.
        const int packetCount = (samples + preSkip / factor + encoder.frameSize() - 1) / encoder.frameSize();
        QCOMPARE(audioPackets(pages).size(), packetCount);
        for (qsizetype i = 0; i + 1 < pages.size(); ++i)
            QVERIFY(!pages[i].endOfStream());
        QVERIFY(pages.back().endOfStream());
        // The end position trims the padding: inside the last packet, past the one before it.
        const int64_t end = preSkip + int64_t(samples) * factor;
        QCOMPARE(pages.back().granulePosition, end);
        QVERIFY(end > int64_t(packetCount - 1) * 960);
        QVERIFY(end <= int64_t(packetCount) * 960);

        try {
            encoder.encode(pcm16(speechLike(320)));
            QFAIL("a finished stream took more audio");
        } catch (const OggError& error) {
            QCOMPARE(error.kind(), OggError::Kind::InternalError);
        }
    }

    void splittingTheInputChangesNothing_data()
    {
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("100, 300, 20") << QList<int>{100, 300, 20};
        QTest::newRow("packet by packet") << QList<int>{320, 320, 320, 320};
        QTest::newRow("ragged") << QList<int>{1, 639, 7, 313, 1000, 321};
        QTest::newRow("empty pieces") << QList<int>{0, 500, 0, 780};
    }

    void splittingTheInputChangesNothing()
    {
        QFETCH(QList<int>, pieces);
        int total = 0;
        for (const int piece : pieces)
            total += piece;
        const QByteArray pcm = pcm16(speechLike(size_t(total)));

        OGGEncoder whole = makeEncoder();
        whole.encode(pcm);
        OGGEncoder split = makeEncoder();
        qsizetype offset = 0;
        for (const int piece : pieces) {
            const qsizetype before = split.packetNumber();
            split.encode(QByteArrayView(pcm).sliced(offset, piece * 2));
            offset += piece * 2;
            QCOMPARE(split.packetNumber() - before, (offset / 640) - (offset - piece * 2) / 640);
            QCOMPARE(split.cachedPcmBytes(), offset % 640);
        }
        QCOMPARE(audioPackets(pagesOf(split.bitstream(true))), audioPackets(pagesOf(whole.bitstream(true))));
    }

    void aByteCountOffTheFrameGridIsRefused()
    {
        OGGEncoder encoder = makeEncoder();
        encoder.encode(pcm16(speechLike(100)));
        try {
            encoder.encode(QByteArrayView("abc", 3));
            QFAIL("three bytes of 16-bit mono were accepted");
        } catch (const OpusError& error) {
            QCOMPARE(error.code(), OpusError::Code::InternalError);
        }
        QCOMPARE(encoder.cachedPcmBytes(), 200);
        QCOMPARE(encoder.packetNumber(), 2);
    }

    void unalignedInputIsEncodedAsAligned()
    {
        const QByteArray pcm = pcm16(speechLike(3200));
        QByteArray shifted = QByteArray(1, 'x') + pcm;
        OGGEncoder aligned = makeEncoder();
        aligned.encode(pcm);
        OGGEncoder unaligned = makeEncoder();
        unaligned.encode(QByteArrayView(shifted).sliced(1));
        QCOMPARE(audioPackets(pagesOf(unaligned.bitstream(true))), audioPackets(pagesOf(aligned.bitstream(true))));
    }

    void everyOpusRateMakesTwentyMillisecondPackets_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("frameSize");
        QTest::newRow("8 kHz") << 8000 << 160;
        QTest::newRow("12 kHz") << 12000 << 240;
        QTest::newRow("16 kHz") << 16000 << 320;
        QTest::newRow("24 kHz") << 24000 << 480;
        QTest::newRow("48 kHz") << 48000 << 960;
    }

    void everyOpusRateMakesTwentyMillisecondPackets()
    {
        QFETCH(int, rate);
        QFETCH(int, frameSize);
        OGGEncoder encoder = makeEncoder(rate);
        QCOMPARE(encoder.frameSize(), frameSize);
        encoder.encode(pcm16(speechLike(size_t(frameSize) * 3, rate)));
        const QList<Page> pages = pagesOf(encoder.bitstream(true));
        QCOMPARE(pages.back().granulePosition, 2880);
        QCOMPARE(pages[0].body.mid(12, 4), le32(uint32_t(rate)));
    }

    void refusedSetups_data()
    {
        QTest::addColumn<int>("pcmRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bytesPerFrame");
        QTest::addColumn<int>("opusRate");
        QTest::addColumn<bool>("oggError");
        QTest::newRow("resampling needed") << 44100 << 1 << 2 << 16000 << true;
        QTest::newRow("rate libopus cannot encode") << 44100 << 1 << 2 << 44100 << false;
        QTest::newRow("frames narrower than 16-bit") << 16000 << 2 << 2 << 16000 << false;
        QTest::newRow("no channels") << 16000 << 0 << 0 << 16000 << false;
        QTest::newRow("more channels than one encoder takes") << 16000 << 3 << 6 << 16000 << false;
    }

    void refusedSetups()
    {
        QFETCH(int, pcmRate);
        QFETCH(int, channels);
        QFETCH(int, bytesPerFrame);
        QFETCH(int, opusRate);
        QFETCH(bool, oggError);
        try {
            OGGEncoder encoder(pcmRate, channels, uint32_t(bytesPerFrame), opusRate, OGGEncoder::Application::Voip);
            QFAIL("the encoder accepted a setup it cannot serve");
        } catch (const OggError& error) {
            QVERIFY(oggError);
            QCOMPARE(error.kind(), OggError::Kind::InternalError);
        } catch (const OpusError& error) {
            QVERIFY(!oggError);
            QCOMPARE(error.code(), OpusError::Code::BadArgument);
        }
    }

    void pagesCanBeTakenAsTheyFill()
    {
        OGGEncoder encoder = makeEncoder();
        QByteArray stream = encoder.bitstream(false);
        QCOMPARE(pagesOf(stream).size(), 2);
        const QByteArray pcm = pcm16(speechLike(16000 * 5));
        for (qsizetype offset = 0; offset < pcm.size(); offset += 6400) {
            encoder.encode(QByteArrayView(pcm).sliced(offset, 6400));
            stream += encoder.bitstream(false, 1000);
        }
        const QByteArray rest = encoder.bitstream(true);
        QVERIFY(!rest.isEmpty());
        stream += rest;
        const QList<Page> pages = pagesOf(stream);
        QCOMPARE(audioPackets(pages).size(), 250);
        QCOMPARE(pages.back().granulePosition, 250 * 960);
        QVERIFY(pages.size() > 4);
    }
};

MURMO_TEST(TestOGGEncoder)
#include "tst_OGGEncoder.moc"
