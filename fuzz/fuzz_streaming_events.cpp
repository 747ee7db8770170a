// The realtime recogniser's text frames come from the network: each goes through the session's
// event handling. One frame a line; a line "!<n>" appends n * 97 samples instead, so the counters
// move between events. The first line is also used as a comma-separated vocabulary for the echo
// test.
#include "core/recognition/StreamingAsr.h"
#include "core/recognition/StreamingEvent.h"
#include "core/recognition/StreamingVocabulary.h"
#include "core/text/TranscriptHeuristics.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>
#include <cstdlib>

namespace {

class IdleClock : public Clock
{
public:
    std::chrono::milliseconds now() const override { return std::chrono::milliseconds(0); }
    TimerId schedule(std::chrono::milliseconds, std::function<void()>) override { return ++m_next; }
    void cancel(TimerId) override {}

private:
    TimerId m_next = 0;
};

void check(bool invariant)
{
    if (!invariant)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_streaming_events";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = input.split('\n');

    const StreamingVocabulary vocabulary(QString::fromUtf8(lines.value(0)).split(QLatin1Char(',')));
    IdleClock clock;
    {
        auto session =
            StreamingAsr::create(QUrl(QStringLiteral("https://gateway.invalid/")), QStringLiteral("t"), clock);
        bool ready = false;
        bool failed = false;
        qsizetype completed = 0;
        qsizetype queued = 0;
        qsizetype counted = 0;

        for (const QByteArray& line : lines) {
            if (line.startsWith('!')) {
                const qsizetype count = qsizetype(line.mid(1, 3).toUInt()) * 97;
                session->append(Samples(std::size_t(count), line.size() > 4 ? 0.5f : 0.0f));
                if (!failed && !ready)
                    ++queued;
                if (!failed && ready)
                    counted += count;
            } else {
                const QString frame = QString::fromUtf8(line);
                const StreamingEvent event = StreamingEvent::parse(frame);
                check(!vocabulary.isCorpusEcho(QString()));
                // An echo always has something left after normalising; otherwise it is not one.
                for (const QString& text : {event.text, event.transcript, frame})
                    if (vocabulary.isCorpusEcho(text))
                        check(!TranscriptHeuristics::normalizeEcho(text).isEmpty());
                session->handleTextFrame(frame);
                switch (event.kind) {
                case StreamingEvent::Kind::SessionUpdated:
                    // A confirmation after the session is over changes nothing.
                    if (!failed) {
                        ready = true;
                        queued = 0;
                    }
                    break;
                case StreamingEvent::Kind::Completed:
                    ++completed;
                    break;
                case StreamingEvent::Kind::Error:
                    failed = true;
                    break;
                default:
                    break;
                }
            }
            const StreamingAsr::Counters counters = session->counters();
            check((counters.stage == StreamingAsr::Stage::Streaming) == (ready && !failed));
            check((counters.stage == StreamingAsr::Stage::Failed) == failed);
            check(counters.segments == completed);
            check(counters.outstandingCommits >= 0);
            check(counters.pendingFrames == queued);
            check(counters.samplesSinceCommit >= 0 && counters.samplesSinceCommit <= counted);
            check(counters.samplesSinceCommit < StreamingCommitRule::kHardSamples);
        }
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
