// Stitching the transcripts of a ten-minute dictation (ten chunks of about a minute, each
// repeating the end of the one before), next to the bare work: concatenating the same chunks,
// and segmenting the joined text into user-perceived characters once.
#include "bench/BenchRatio.h"
#include "core/text/TranscriptHeuristics.h"

#include <QTextBoundaryFinder>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// About a minute of Chinese speech with some English terms: ~250 characters.
QString minuteOfSpeech(int index)
{
    static const QString sentences[] = {
        QStringLiteral("今天我们主要讨论一下下个季度的预算安排，"),
        QStringLiteral("首先是市场部门提出的推广计划，"),
        QStringLiteral("他们希望在 Q3 增加在 YouTube 和 Google Ads 上的投放，"),
        QStringLiteral("其次是研发部门需要更多的 GPU 服务器，"),
        QStringLiteral("最后我们再看一下人员招聘的进度。"),
    };
    QString text;
    for (int i = 0; text.size() < 250; ++i)
        text += sentences[(index + i) % 5];
    return text + QStringLiteral("第%1段结束。").arg(index);
}

QStringList tenChunks()
{
    QStringList chunks;
    QString previousTail;
    for (int i = 0; i < 10; ++i) {
        const QString own = minuteOfSpeech(i);
        // Three seconds of repeated audio: the last dozen characters of the previous chunk.
        chunks.append(previousTail + own);
        previousTail = own.right(12);
    }
    return chunks;
}

void BM_Concatenate(benchmark::State& state)
{
    const QStringList chunks = tenChunks();
    for (auto _ : state) {
        QString joined;
        for (const QString& chunk : chunks)
            joined += chunk;
        benchmark::DoNotOptimize(joined.data());
    }
}

void BM_SegmentOnce(benchmark::State& state)
{
    const QString joined = tenChunks().join(QString());
    for (auto _ : state) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, joined);
        int n = 0;
        while (finder.toNextBoundary() > 0)
            ++n;
        benchmark::DoNotOptimize(n);
    }
}

void BM_StitchOverlapping(benchmark::State& state)
{
    const QStringList chunks = tenChunks();
    for (auto _ : state) {
        QString stitched = TranscriptHeuristics::stitchOverlapping(chunks);
        benchmark::DoNotOptimize(stitched.data());
    }
}

} // namespace

BENCHMARK(BM_Concatenate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SegmentOnce)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StitchOverlapping)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    BenchRatio::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double stitch = reporter.median("BM_StitchOverlapping");
    const double concat = reporter.median("BM_Concatenate");
    const double segment = reporter.median("BM_SegmentOnce");
    if (concat > 0 && segment > 0 && stitch > 0) {
        std::printf("stitchOverlapping of ten 60 s transcripts (medians): %.1f us\n", stitch * 1e6);
        std::printf("  / plain concatenation: %.0f\n", stitch / concat);
        std::printf("  / one grapheme segmentation of the joined text: %.2f\n", stitch / segment);
    }
    return 0;
}
