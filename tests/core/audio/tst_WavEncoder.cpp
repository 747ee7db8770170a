#include "core/audio/WavEncoder.h"
#include "tests/support/TestRegistry.h"

#include <QTest>
#include <QtEndian>

#include <cmath>
#include <limits>

namespace {

template <typename T> T fieldAt(const QByteArray& wav, qsizetype offset)
{
    return qFromLittleEndian<T>(wav.constData() + offset);
}

int16_t sampleAt(const QByteArray& wav, qsizetype index)
{
    return fieldAt<int16_t>(wav, WavEncoder::kHeaderSize + 2 * index);
}

QByteArray withTail(const QByteArray& tail)
{
    return QByteArray(WavEncoder::kHeaderSize, 'h') + tail;
}

} // namespace

class TestWavEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyRecordingIsJustTheHeader()
    {
        const QByteArray wav = WavEncoder::encode({}, 16000);
        QCOMPARE(wav.size(), 44);
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(fieldAt<uint32_t>(wav, 4), 36u);
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(fieldAt<uint32_t>(wav, 16), 16u);
        QCOMPARE(fieldAt<uint16_t>(wav, 20), uint16_t(1));
        QCOMPARE(fieldAt<uint16_t>(wav, 22), uint16_t(1));
        QCOMPARE(fieldAt<uint32_t>(wav, 24), 16000u);
        QCOMPARE(fieldAt<uint32_t>(wav, 28), 32000u);
        QCOMPARE(fieldAt<uint16_t>(wav, 32), uint16_t(2));
        QCOMPARE(fieldAt<uint16_t>(wav, 34), uint16_t(16));
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        QCOMPARE(fieldAt<uint32_t>(wav, 40), 0u);
    }

    void samplesAreClampedAndTruncatedTowardZero()
    {
        const std::vector<float> samples{0.0f,
                                         1.0f,
                                         -1.0f,
                                         0.5f,
                                         2.0f,
                                         -2.0f,
                                         -0.5f,
                                         std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity()};
        const QByteArray wav = WavEncoder::encode(samples, 22050);
        QCOMPARE(wav.size(), 44 + 2 * qsizetype(samples.size()));
        QCOMPARE(fieldAt<uint32_t>(wav, 4), uint32_t(36 + 2 * samples.size()));
        QCOMPARE(fieldAt<uint32_t>(wav, 24), 22050u);
        QCOMPARE(fieldAt<uint32_t>(wav, 28), 44100u);
        QCOMPARE(fieldAt<uint32_t>(wav, 40), uint32_t(2 * samples.size()));
        const std::vector<int16_t> expected{0, 32767, -32767, 16383, 32767, -32767, -16383, 32767, 32767, -32767};
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(sampleAt(wav, qsizetype(i)), expected[i]);
    }

    void decodeReadsEverythingAfterTheHeader_data()
    {
        QTest::addColumn<QByteArray>("wav");
        QTest::addColumn<std::vector<float>>("expected");
        QTest::newRow("header only") << withTail({}) << std::vector<float>{};
        QTest::newRow("one stray byte") << withTail("\x01") << std::vector<float>{};
        QTest::newRow("one sample") << withTail(QByteArray("\xff\x7f", 2)) << std::vector<float>{1.0f};
        QTest::newRow("odd trailing byte ignored")
            << withTail(QByteArray("\x01\x80\x07", 3)) << std::vector<float>{-32767.0f / 32767.0f};
        QTest::newRow("minimum is not clamped")
            << withTail(QByteArray("\x00\x80", 2)) << std::vector<float>{-32768.0f / 32767.0f};
        QTest::newRow("too short for a header") << QByteArray("RIFF") << std::vector<float>{};
    }

    void decodeReadsEverythingAfterTheHeader()
    {
        QFETCH(QByteArray, wav);
        QFETCH(std::vector<float>, expected);
        QCOMPARE(WavEncoder::decode(wav), expected);
    }

    void extraHeaderChunksAreReadAsSamples()
    {
        // The decoder trusts the canonical layout; a longer header shows up as leading samples.
        QByteArray wav = WavEncoder::encode(std::vector<float>{0.25f}, 16000);
        wav.insert(36, QByteArray("LIST\x04\x00\x00\x00"
                                  "abcd",
                                  12));
        QCOMPARE(WavEncoder::decode(wav).size(), size_t(7));
    }

    void roundTripQuantisesToMultiplesOfFullScale()
    {
        std::vector<float> samples(1000);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = float(std::sin(double(i) * 0.05) * 1.2);
        const Samples decoded = WavEncoder::decode(WavEncoder::encode(samples, 16000));
        QCOMPARE(decoded.size(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            const float clamped = std::clamp(samples[i], -1.0f, 1.0f);
            QVERIFY(std::abs(decoded[i]) <= std::abs(clamped) + 1e-6f);
            QVERIFY(std::abs(decoded[i] - clamped) <= 1.0f / 32767.0f + 1e-6f);
        }
    }

    void refusesImagesTooLargeForTheirSizeFields()
    {
        QVERIFY_THROWS_EXCEPTION(std::length_error, WavEncoder::encode({}, -1));
    }
};

MURMO_TEST(TestWavEncoder)
#include "tst_WavEncoder.moc"
