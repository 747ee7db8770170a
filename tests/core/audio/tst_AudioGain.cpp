#include "core/audio/AudioGain.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <cmath>

namespace {

constexpr float kTarget = 0.06f;
constexpr float kMaxGain = 12.0f;

} // namespace

class TestAudioGain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavesInputAloneUnlessQuietSpeech_data()
    {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::newRow("empty") << std::vector<float>{};
        QTest::newRow("all zero") << std::vector<float>(1000, 0.0f);
        // Few samples, so the single-precision mean comes out at exactly the floor.
        QTest::newRow("rms exactly at the silence floor") << std::vector<float>{0.0005f, -0.0005f, 0.0005f, 0.0005f};
        QTest::newRow("rms below the silence floor") << std::vector<float>{0.0004f, -0.0004f, 0.0003f};
        QTest::newRow("gain 1.147 is too small to apply") << std::vector<float>(1000, 0.0523f);
        QTest::newRow("already at target") << std::vector<float>(1000, 0.06f);
        QTest::newRow("loud input is never attenuated") << std::vector<float>{0.9f, -0.8f, 0.7f, -1.0f};
    }

    void leavesInputAloneUnlessQuietSpeech()
    {
        QFETCH(std::vector<float>, samples);
        QCOMPARE(AudioGain::normalize(samples, kTarget, kMaxGain), samples);
    }

    void amplifiesQuietSpeech_data()
    {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::addColumn<std::vector<float>>("expected");
        QTest::newRow("constant 0.01 gets gain 6") << std::vector<float>(400, 0.01f) << std::vector<float>(400, 0.06f);
        QTest::newRow("constant 0.001 is capped at gain 12")
            << std::vector<float>(400, 0.001f) << std::vector<float>(400, 0.012f);
        QTest::newRow("negative samples keep their sign")
            << std::vector<float>{0.01f, -0.01f, 0.01f, -0.01f} << std::vector<float>{0.06f, -0.06f, 0.06f, -0.06f};
    }

    void amplifiesQuietSpeech()
    {
        QFETCH(std::vector<float>, samples);
        QFETCH(std::vector<float>, expected);
        const Samples out = AudioGain::normalize(samples, kTarget, kMaxGain);
        QCOMPARE(out.size(), expected.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            QVERIFY2(qAbs(out[i] - expected[i]) < 1e-6f, qPrintable(QString::number(i)));
    }

    void clipsHardAtFullScale()
    {
        // Two peaks of +/-0.5 in a quiet background chosen so the whole take has an RMS of 0.01:
        // the gain is 6, the peaks would reach +/-3 and are clipped, the background is scaled
        // exactly (no limiter pulling it down).
        const float background = std::sqrt(0.5f / 9998.0f);
        std::vector<float> samples(10000, background);
        samples[10] = 0.5f;
        samples[20] = -0.5f;
        const Samples out = AudioGain::normalize(samples, kTarget, kMaxGain);
        QCOMPARE(out.size(), samples.size());
        QCOMPARE(out[10], 1.0f);
        QCOMPARE(out[20], -1.0f);
        QVERIFY(qAbs(out[0] - 6.0f * background) < 1e-5f);
        QVERIFY(qAbs(out[9999] - 6.0f * background) < 1e-5f);
    }

    // Streamed buffer by buffer, the boost glides up without a step between neighbouring samples,
    // and by the end of the take reaches the gain the whole take gets at once.
    void streamedBoostGlidesToTheWholeTakesGain_data()
    {
        // The level of each buffer of 1600 samples.
        QTest::addColumn<QList<float>>("levels");
        QTest::newRow("quiet speech") << QList<float>(10, 0.01f);
        QTest::newRow("loud speech is left alone") << QList<float>(10, 0.2f);
        QTest::newRow("silence, then quiet speech") << QList<float>{0, 0, 0, 0, 0, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f};
        QTest::newRow("quiet, then loud speech") << QList<float>{0.01f, 0.01f, 0.01f, 0.01f, 0.1f, 0.1f, 0.1f};
        QTest::newRow("quiet speech getting louder") << QList<float>{0.005f, 0.005f, 0.01f, 0.01f, 0.02f, 0.02f};
    }

    void streamedBoostGlidesToTheWholeTakesGain()
    {
        QFETCH(QList<float>, levels);
        AudioGain::QuietSpeechBoost boost;
        Samples whole;
        float lastGain = 1.0f;
        float steepest = 0.0f;
        bool anyChange = false;
        for (const float level : levels) {
            const Samples buffer(1600, level);
            whole.insert(whole.end(), buffer.begin(), buffer.end());
            const Samples out = boost.apply(buffer);
            QCOMPARE(out.size(), buffer.size());
            for (std::size_t i = 0; i < out.size(); ++i) {
                if (level == 0.0f) {
                    QCOMPARE(out[i], 0.0f);
                    continue;
                }
                // Rises glide; a fall (louder speech arriving) may apply at once.
                const float gain = out[i] / level;
                steepest = std::max(steepest, gain - lastGain);
                anyChange = anyChange || out[i] != buffer[i];
                lastGain = gain;
            }
        }
        QVERIFY2(steepest < 0.01f, qPrintable(QString::number(steepest)));
        const Samples boostedWhole = AudioGain::boostQuietSpeech(whole);
        const float wholeGain = boostedWhole.back() / whole.back();
        QVERIFY2(std::abs(boost.gain() - wholeGain) < 1e-3f,
                 qPrintable(QStringLiteral("%1 streamed, %2 whole").arg(boost.gain()).arg(wholeGain)));
        // Loud speech from the start is never touched.
        QCOMPARE(anyChange, levels.first() < 0.05f);
    }

    // A word after a stretch of silence or hiss starts no louder than the take up to it supports,
    // and nothing clips that the whole take's boost would leave whole.
    void streamedOnsetStartsAtTheGainTheTakeSupports_data()
    {
        QTest::addColumn<float>("noiseRms");
        QTest::addColumn<double>("silenceSeconds");
        QTest::addColumn<float>("speechPeak");
        QTest::newRow("speech after a hiss") << 0.002f << 1.5 << 0.3f;
        QTest::newRow("quiet speech after a hiss") << 0.001f << 1.0 << 0.05f;
        QTest::newRow("speech after a faint hiss, mid-buffer") << 0.0008f << 1.3 << 0.5f;
        QTest::newRow("speech after digital silence") << 0.0f << 1.0 << 0.3f;
    }

    void streamedOnsetStartsAtTheGainTheTakeSupports()
    {
        QFETCH(float, noiseRms);
        QFETCH(double, silenceSeconds);
        QFETCH(float, speechPeak);
        const std::size_t onset = std::size_t(silenceSeconds * 16000);
        Samples take(onset + 3 * 16000);
        quint32 seed = 1;
        for (std::size_t i = 0; i < take.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Uniform noise of the given RMS, then a syllable-like tone.
            const float noise = noiseRms * std::sqrt(3.0f) * (float(seed >> 8) / float(1 << 23) - 1.0f);
            const double t = double(i - std::min(i, onset)) / 16000.0;
            const float speech =
                i < onset ? 0.0f
                          : speechPeak * float(std::sin(2 * M_PI * 220 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t)));
            take[i] = noise + speech;
        }
        const Samples whole = AudioGain::boostQuietSpeech(take);
        AudioGain::QuietSpeechBoost boost;
        Samples streamed;
        for (std::size_t at = 0; at < take.size(); at += 4096) {
            const Samples out = boost.apply(
                Samples(take.begin() + qsizetype(at), take.begin() + qsizetype(std::min(at + 4096, take.size()))));
            streamed.insert(streamed.end(), out.begin(), out.end());
        }
        QCOMPARE(streamed.size(), take.size());

        const std::size_t onsetBufferEnd = std::min(take.size(), (onset / 4096 + 1) * 4096);
        const Samples soFar(take.begin(), take.begin() + qsizetype(onsetBufferEnd));
        const Samples soFarBoosted = AudioGain::boostQuietSpeech(soFar);
        float supported = 1.0f;
        for (std::size_t i = 0; i < soFar.size(); ++i)
            if (std::abs(soFar[i]) > 0.01f)
                supported = std::max(supported, soFarBoosted[i] / soFar[i]);
        float onsetGain = 0.0f;
        for (std::size_t i = onset; i < onset + 800; ++i)
            if (std::abs(take[i]) > 0.01f)
                onsetGain = std::max(onsetGain, streamed[i] / take[i]);
        QVERIFY2(
            onsetGain <= supported + 1e-3f,
            qPrintable(QStringLiteral("onset at %1x, the take so far supports %2x").arg(onsetGain).arg(supported)));

        int clippedHere = 0;
        for (std::size_t i = 0; i < take.size(); ++i)
            if (std::abs(streamed[i]) >= 1.0f && std::abs(whole[i]) < 1.0f)
                ++clippedHere;
        QCOMPARE(clippedHere, 0);
    }
};

MURMO_TEST(TestAudioGain)
#include "tst_AudioGain.moc"
