#include "core/audio/AudioChunker.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// Speech-like noise that never repeats a window's energy exactly, so the quietest window is
// decided by the silence a row places, never by a tie.
Samples noise(qint64 count)
{
    Samples samples(static_cast<std::size_t>(count));
    quint32 state = 12345;
    for (float& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = 0.05f + 0.1f * static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
    }
    return samples;
}

// [from, to) pairs, flattened.
using Ranges = QList<qint64>;

void silence(Samples& samples, const Ranges& quiet)
{
    for (qsizetype i = 0; i + 1 < quiet.size(); i += 2)
        std::fill(samples.begin() + quiet[i], samples.begin() + quiet[i + 1], 0.0f);
}

} // namespace

class TestAudioChunker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Rows are sample counts at 16 kHz with the dictation values (60 s chunks, a 4 s search
    // window either side, 3 s overlap): target 960,000, limit 1,440,000, search 896,000-1,024,000.
    void cutsFallOnSilence_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<bool>("noisy");
        QTest::addColumn<Ranges>("quiet");
        QTest::addColumn<Ranges>("expected");

        QTest::newRow("empty recording is one empty chunk") << qint64(0) << false << Ranges{} << Ranges{0, 0};
        QTest::newRow("90 s exactly stays whole") << qint64(1440000) << true << Ranges{} << Ranges{0, 1440000};
        QTest::newRow("one sample more than 90 s is cut; all-silent ties go to the first window")
            << qint64(1440001) << false << Ranges{} << Ranges{0, 896400, 848400, 1440001};
        QTest::newRow("silent window on the search grid")
            << qint64(1440001) << true << Ranges{900000, 900800} << Ranges{0, 900400, 852400, 1440001};
        QTest::newRow("two equally silent pauses: the earlier wins")
            << qint64(1440001) << true << Ranges{1000000, 1000800, 900000, 900800}
            << Ranges{0, 900400, 852400, 1440001};
        QTest::newRow("silence off the grid: the window holding most of it")
            << qint64(1440001) << true << Ranges{900100, 900900} << Ranges{0, 900400, 852400, 1440001};
        QTest::newRow("silence at the start of the search range")
            << qint64(1440001) << true << Ranges{896000, 896800} << Ranges{0, 896400, 848400, 1440001};
        QTest::newRow("last window that fits below the search end")
            << qint64(1440001) << true << Ranges{1022800, 1023600} << Ranges{0, 1023200, 975200, 1440001};
        QTest::newRow("three chunks, each cut in its own pause")
            << qint64(2400000) << true << Ranges{950000, 950800, 1900000, 1900800}
            << Ranges{0, 950400, 902400, 1900400, 1852400, 2400000};
        QTest::newRow("all-silent 150 s gives three chunks")
            << qint64(2400000) << false << Ranges{} << Ranges{0, 896400, 848400, 1792800, 1744800, 2400000};
    }

    void cutsFallOnSilence()
    {
        QFETCH(qint64, count);
        QFETCH(bool, noisy);
        QFETCH(Ranges, quiet);
        QFETCH(Ranges, expected);

        Samples samples = noisy ? noise(count) : Samples(static_cast<std::size_t>(count), 0.0f);
        silence(samples, quiet);
        const std::vector<Samples> chunks = AudioChunker::split(samples, 16000, 60, 4, 3);

        QCOMPARE(qsizetype(chunks.size()), expected.size() / 2);
        for (qsizetype i = 0; i < expected.size() / 2; ++i) {
            const qint64 from = expected[2 * i];
            const qint64 to = expected[2 * i + 1];
            QCOMPARE(qint64(chunks[i].size()), to - from);
            QVERIFY2(std::equal(chunks[i].begin(), chunks[i].end(), samples.begin() + from),
                     qPrintable(QStringLiteral("chunk %1 is not samples %2..%3").arg(i).arg(from).arg(to)));
        }
    }

    void silenceBeforeTheSearchRangeIsIgnored()
    {
        // A long pause at 50-55 s would be the quietest place overall, but it lies before the
        // search range (56-64 s): the cut stays inside the range, somewhere in the noise.
        Samples samples = noise(1440001);
        silence(samples, {800000, 880000});
        const std::vector<Samples> chunks = AudioChunker::split(samples, 16000, 60, 4, 3);
        QCOMPARE(chunks.size(), std::size_t(2));
        const qint64 cut = qint64(chunks[0].size());
        QVERIFY2(cut >= 896400 && cut <= 1023200, qPrintable(QString::number(cut)));
        QCOMPARE(qint64(chunks[1].size()), 1440001 - (cut - 48000));
    }

    // Small rates and targets make the one-second margins bite.
    void cutsKeepOneSecondFromPreviousCutAndEnd_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<double>("windowSeconds");
        QTest::addColumn<Ranges>("quiet");
        QTest::addColumn<qint64>("cut");

        // rate 1000, target 10 s, limit 15,000.
        QTest::newRow("silence in the first second after the previous cut is out of reach")
            << qint64(15001) << 9.5 << Ranges{0, 1000} << qint64(-1);
        QTest::newRow("silence reaching into the last second is out of reach")
            << qint64(15001) << 8.0 << Ranges{13600, 15001} << qint64(13600);
        QTest::newRow("search range too narrow for a window: cut at the ideal point")
            << qint64(15001) << 0.3 << Ranges{9000, 9800} << qint64(10000);
    }

    void cutsKeepOneSecondFromPreviousCutAndEnd()
    {
        QFETCH(qint64, count);
        QFETCH(double, windowSeconds);
        QFETCH(Ranges, quiet);
        QFETCH(qint64, cut);

        Samples samples = noise(count);
        silence(samples, quiet);
        const std::vector<Samples> chunks = AudioChunker::split(samples, 1000, 10, windowSeconds, 0);
        QCOMPARE(chunks.size(), std::size_t(2));
        const qint64 actual = qint64(chunks[0].size());
        QCOMPARE(qint64(chunks[0].size() + chunks[1].size()), count);
        if (cut >= 0) {
            QCOMPARE(actual, cut);
        } else {
            QVERIFY2(actual >= 1400, qPrintable(QString::number(actual)));
        }
    }

    void lastChunkNeverExceedsLimitWithoutOverlap()
    {
        for (const qint64 count : {qint64(1440001), qint64(2000000), qint64(2880001), qint64(9600000)}) {
            const Samples samples = noise(count);
            const std::vector<Samples> chunks = AudioChunker::split(samples, 16000, 60, 4, 3);
            qint64 covered = 0;
            for (std::size_t i = 0; i < chunks.size(); ++i) {
                const qint64 overlap = i == 0 ? 0 : 48000;
                const qint64 own = qint64(chunks[i].size()) - overlap;
                QVERIFY(own <= 1440000);
                if (i + 1 < chunks.size())
                    QVERIFY2(own >= 56 * 16000 && own <= 64 * 16000, qPrintable(QString::number(own)));
                // The overlap repeats exactly the end of the previous chunk.
                QVERIFY(std::equal(chunks[i].begin(), chunks[i].end(), samples.begin() + covered - overlap));
                covered += own;
            }
            QCOMPARE(covered, count);
        }
    }

    void unusableValuesGiveTheWholeInput_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("window");
        QTest::addColumn<double>("overlap");
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("zero target") << 16000 << 0.0 << 4.0 << 3.0;
        QTest::newRow("target under one sample") << 16000 << 0.00001 << 0.0 << 0.0;
        QTest::newRow("zero rate") << 0 << 60.0 << 4.0 << 3.0;
        QTest::newRow("negative rate") << -16000 << 60.0 << 4.0 << 3.0;
        QTest::newRow("infinite target") << 16000 << inf << 4.0 << 3.0;
        QTest::newRow("NaN window") << 16000 << 60.0 << nan << 3.0;
        QTest::newRow("negative overlap") << 16000 << 60.0 << 4.0 << -3.0;
        QTest::newRow("target beyond any index") << 16000 << 1e300 << 4.0 << 3.0;
    }

    void unusableValuesGiveTheWholeInput()
    {
        QFETCH(int, rate);
        QFETCH(double, target);
        QFETCH(double, window);
        QFETCH(double, overlap);
        // More than 90 s, so sound values would cut it.
        const Samples samples = noise(1600000);
        const std::vector<Samples> chunks = AudioChunker::split(samples, rate, target, window, overlap);
        QCOMPARE(chunks.size(), std::size_t(1));
        QCOMPARE(chunks[0], samples);
    }
};

MURMO_TEST(TestAudioChunker)
#include "tst_AudioChunker.moc"
