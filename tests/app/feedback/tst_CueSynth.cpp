#include "app/feedback/CueSynth.h"
#include "tests/support/TestRegistry.h"

#include <QCryptographicHash>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// A second, plain rendering of the cue recipe written from the recipe alone, so a slip in the
// program's version (a wrong order of steps, a missed truncation, a float where a double belongs)
// shows up as different bytes.
struct Recipe
{
    std::vector<std::array<double, 3>> partials;
    double f0Start, f0Stop, durMs, attackMs, cutoffHz;
    int taps;
    double winMs, noiseK, mix;
};

Recipe recipe(const QString& set)
{
    if (set == QLatin1String("cork"))
        return {{{0.5, 0.45, 22}, {1, 1, 30}, {2.01, 0.3, 55}, {3.42, 0.12, 80}, {5.1, 0.05, 130}},
                130.81,
                110,
                130,
                6,
                760,
                12,
                30,
                180,
                0.3};
    if (set == QLatin1String("droplet"))
        return {
            {{1, 1, 45}, {2.32, 0.4, 75}, {4.25, 0.16, 115}, {6.63, 0.07, 170}}, 660, 494, 90, 2, 6500, 4, 8, 400, 0.1};
    if (set == QLatin1String("tick"))
        return {{{1, 0.55, 110}, {2.76, 0.12, 190}}, 1568, 1175, 45, 1.5, 5000, 6, 10, 320, 0.85};
    return {{{1, 1, 17}, {3.93, 0.28, 55}, {9.2, 0.09, 110}}, 392, 294, 160, 3, 4500, 16, 18, 240, 0.18};
}

QByteArray plainRender(const Recipe& rc, double f0)
{
    const int rate = 44100;
    const long n = long(rate * rc.durMs / 1000);
    long a = long(rate * rc.attackMs / 1000);
    if (a < 1)
        a = 1;
    long l = long(rate * 0.015);
    if (l > n)
        l = n;
    const double w = rc.winMs / 1000;
    uint64_t x = 0x9E3779B97F4A7C15ULL;
    std::vector<double> ring(rc.taps, 0.0);
    int p = 0;
    double peak = 1e-9;
    std::vector<float> out;
    for (long i = 0; i < n; i++) {
        double t = double(i) / rate;
        double e = 1;
        if (i < a)
            e = 0.5 - 0.5 * cos(M_PI * i / a);
        double v = 0;
        for (auto& pr : rc.partials)
            if (f0 * pr[0] < rc.cutoffHz)
                v += pr[1] * sin(2 * M_PI * pr[0] * f0 * t) * exp(-pr[2] * t);
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        ring[p] = double(int64_t(x)) / 9223372036854775808.0;
        p++;
        if (p == rc.taps)
            p = 0;
        if (t < w) {
            double sum = 0;
            for (int j = 0; j < rc.taps; j++)
                sum += ring[j];
            v += sum / rc.taps * rc.mix * sin(M_PI * t / w) * exp(-rc.noiseK * t);
        }
        double s = e * v;
        if (i >= n - l)
            s *= 0.5 + 0.5 * cos(M_PI * (i - (n - l) + 1) / l);
        out.push_back(float(s));
        if (fabs(s) > peak)
            peak = fabs(s);
    }
    float g = float(0.89 / peak);
    QByteArray wav;
    auto u32 = [&](uint32_t value) {
        char b[4];
        qToLittleEndian(value, b);
        wav.append(b, 4);
    };
    auto u16 = [&](uint16_t value) {
        char b[2];
        qToLittleEndian(value, b);
        wav.append(b, 2);
    };
    const uint32_t dataBytes = uint32_t(n * 2);
    wav.append("RIFF");
    u32(36 + dataBytes);
    wav.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    wav.append("data");
    u32(dataBytes);
    for (float s : out) {
        float y = s * g;
        if (y > 1)
            y = 1;
        if (y < -1)
            y = -1;
        u16(uint16_t(int16_t(y * 32767.0f)));
    }
    return wav;
}

int16_t sampleAt(const QByteArray& wav, qsizetype index)
{
    return qFromLittleEndian<int16_t>(wav.constData() + 44 + 2 * index);
}

} // namespace

class CueSynthTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noiseStartsWithTheKnownValues()
    {
        CueNoise noise;
        QCOMPARE(noise.next(), -0.2804117584383668);
        QCOMPARE(noise.next(), 0.7886026767126735);
        QCOMPARE(noise.next(), 0.9611757480989835);
    }

    void rendersEachCue_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<bool>("start");
        QTest::addColumn<int>("samples");
        // SHA-256 of the WAV image as rendered by a separate script from the recipe.
        QTest::addColumn<QByteArray>("sha256");
        QTest::newRow("cork.start") << "cork" << true << 5733
                                    << QByteArray("ca2eabd85a6050f6ee5d0dfca58503d8899c9e90ee6e7a2841b96dbc5846f402");
        QTest::newRow("cork.stop") << "cork" << false << 5733
                                   << QByteArray("b9ae81068cbf61f5ddb6e9892a48c3f544350d8d0e6d9c02938e47234e2975b7");
        QTest::newRow("droplet.start") << "droplet" << true << 3969
                                       << QByteArray(
                                              "e7fabfb5f3c97a840ca2d72144a5ec4dcad84e5ba5b403b4c06f3bddfe9f1672");
        QTest::newRow("droplet.stop") << "droplet" << false << 3969
                                      << QByteArray("ca70dde2bb265c5b9a50fea279bcccf051d5bbdea7077df868b310a54128cb11");
        QTest::newRow("tick.start") << "tick" << true << 1984
                                    << QByteArray("fb207f995eaffc7b1ad8dded3acbfbf501e45943ec2938bc2864e3c7ff389839");
        QTest::newRow("tick.stop") << "tick" << false << 1984
                                   << QByteArray("7119685df767330b7c658d595fe7cd13d2bc0ca2cbb42618c3ef66cacc4acf96");
        QTest::newRow("marimba.start") << "marimba" << true << 7056
                                       << QByteArray(
                                              "a5f1a026962db274da2911073395ec589e2430847fc265032a268acf28651457");
        QTest::newRow("marimba.stop") << "marimba" << false << 7056
                                      << QByteArray("3e3a776ad2d4acc02bbe4a5699363e407b761363500ff9259a1c67b0fdb6d8c7");
    }

    void rendersEachCue()
    {
        QFETCH(QString, set);
        QFETCH(bool, start);
        QFETCH(int, samples);
        QFETCH(QByteArray, sha256);

        const SoundSpec& spec = SoundSpec::builtIn().at(set);
        const double f0 = start ? spec.f0Start : spec.f0Stop;
        const QByteArray wav = CueSynth::render(spec, f0);

        QCOMPARE(wav.size(), 44 + 2 * samples);
        QCOMPARE(qFromLittleEndian<uint32_t>(wav.constData() + 24), 44100u);
        QCOMPARE(qFromLittleEndian<uint16_t>(wav.constData() + 22), uint16_t(1));
        QCOMPARE(sampleAt(wav, 0), int16_t(0));
        QCOMPARE(sampleAt(wav, samples - 1), int16_t(0));
        int peak = 0;
        for (int i = 0; i < samples; ++i)
            peak = std::max(peak, std::abs(int(sampleAt(wav, i))));
        QCOMPARE(peak, 29162);

        const Recipe rc = recipe(set);
        QCOMPARE(wav, plainRender(rc, start ? rc.f0Start : rc.f0Stop));
        QCOMPARE(QCryptographicHash::hash(wav, QCryptographicHash::Sha256).toHex(), sha256);
    }

    void builtInPartialsAllSound()
    {
        for (const auto& [id, spec] : SoundSpec::builtIn()) {
            for (const auto& p : spec.partials) {
                QVERIFY2(spec.f0Start * p.r < spec.cutoffHz, qPrintable(id));
                QVERIFY2(spec.f0Stop * p.r < spec.cutoffHz, qPrintable(id));
            }
            QVERIFY2(spec.f0Stop < spec.f0Start, qPrintable(id));
        }
        QCOMPARE(SoundSpec::builtIn().size(), size_t(4));
    }

    void cutoffLeavesOutHighPartials()
    {
        // Only the fundamental stays under the cut-off: the sound equals one rendered without the
        // other partials.
        SoundSpec full = SoundSpec::builtIn().at(QStringLiteral("droplet"));
        full.cutoffHz = 700;
        SoundSpec single = full;
        single.partials = {full.partials.first()};
        QCOMPARE(CueSynth::render(full, 660), CueSynth::render(single, 660));
        QVERIFY(CueSynth::render(full, 660) != CueSynth::render(SoundSpec::builtIn().at("droplet"), 660));
    }

    void unrenderableSpecsGiveNothing()
    {
        SoundSpec spec = SoundSpec::builtIn().at(QStringLiteral("tick"));
        spec.noiseTaps = 0;
        QVERIFY(CueSynth::render(spec, 1000).isEmpty());
        spec = SoundSpec::builtIn().at(QStringLiteral("tick"));
        spec.durMs = 0;
        QVERIFY(CueSynth::render(spec, 1000).isEmpty());
    }

    void veryShortSoundsStillEndAtZero()
    {
        // Shorter than the 15 ms release: the whole sound is the fade-out.
        SoundSpec spec = SoundSpec::builtIn().at(QStringLiteral("tick"));
        spec.durMs = 5;
        const QByteArray wav = CueSynth::render(spec, 1568);
        const int n = int(44100 * 5 / 1000);
        QCOMPARE(wav.size(), 44 + 2 * n);
        QCOMPARE(sampleAt(wav, 0), int16_t(0));
        QCOMPARE(sampleAt(wav, n - 1), int16_t(0));
    }
};

MURMO_TEST(CueSynthTest)
#include "tst_CueSynth.moc"
