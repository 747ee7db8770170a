#include "core/text/DictationPipeline.h"

#include "core/async/BulkPool.h"
#include "core/async/CancelToken.h"
#include "core/async/FirstOf.h"
#include "core/async/Sleep.h"
#include "core/audio/AudioChunker.h"
#include "core/audio/Samples.h"
#include "core/audio/WavEncoder.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrProvider.h"
#include "core/store/Lexicon.h"
#include "core/text/AnswerGuards.h"
#include "core/text/ChunkRecognition.h"
#include "core/text/HotwordMatcher.h"
#include "core/text/Styler.h"
#include "core/text/TranscriptHeuristics.h"
#include "core/text/ValidUtf16.h"
#include "core/text/VoiceTrigger.h"
#include "platform/Clock.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

#include <exception>

namespace {

const QString kRawModeId = QStringLiteral("raw");
// Takes this long or longer are cut and encoded on a worker; a shorter one costs the caller's
// thread well under a frame.
constexpr qsizetype kWorkerSamples = 30 * kRecordingSampleRate;

int elapsedMs(const Clock* clock, std::chrono::milliseconds since)
{
    return int((clock->now() - since).count());
}

// A raw transcript without the vocabulary the recogniser read back, with the correction rules
// applied: the text a dictation keeps as its asrText. Runs once per dictation, since a rule applied
// again to its own result can damage it.
QString cleanTranscript(Lexicon& lexicon, const QString& raw)
{
    // The hotwords are read afresh at each take: the user may edit them while we work. The
    // lexicon keeps them prepared, so a take costs the same with ten of them as with thirty
    // thousand; the list itself is asked for only by a run long enough to be checked against it.
    const std::shared_ptr<const HotwordMatcher> hotwords = lexicon.hotwordMatcher();
    // Transcripts recognised elsewhere (streaming) reach us without passing a JSON reader that
    // repairs them, and one lone surrogate would stop every rule written in Latin letters.
    QString cleaned = TranscriptHeuristics::stripLeadingEcho(ValidUtf16::repaired(raw), *hotwords);
    cleaned = TranscriptHeuristics::stripHotwordRuns(
        cleaned, *hotwords, [&lexicon] { return lexicon.hotwords(); }, DictationPipeline::kMinHotwordRun);
    return lexicon.apply(cleaned);
}

// What the styler said, or nothing when its time ran out first.
struct StylerAnswer
{
    std::optional<QString> text;
};

QCoro::Task<std::optional<StylerAnswer>> askStyler(std::shared_ptr<const Styler> styler, StyleMode mode, QString text,
                                                   StylePreferences preferences, bool translate, CancelToken* own,
                                                   QPointer<CancelToken> caller)
{
    // The caller's cancellation reaches the request through the race's own token.
    if (caller) {
        if (caller->isCancelled())
            own->cancel();
        else
            QObject::connect(caller.data(), &CancelToken::cancelled, own, &CancelToken::cancel);
    }
    StylerAnswer answer;
    answer.text = co_await styler->apply(std::move(mode), std::move(text), std::move(preferences), translate, own);
    co_return answer;
}

QCoro::Task<std::optional<StylerAnswer>> stylerTimeout(Clock* clock, std::chrono::milliseconds timeout,
                                                       CancelToken* own)
{
    const bool passed = co_await sleepFor(clock, timeout, own);
    if (!passed)
        co_return std::nullopt;
    StylerAnswer none;
    co_return none;
}

// The styler's answer within its timeout, counted from the request: an answer that trickles in
// is not waited for past it. The request is abandoned then, and the wait fails as a time-out.
QCoro::Task<QString> styleInTime(std::shared_ptr<const Styler> styler, Clock* clock, StyleMode mode, QString text,
                                 StylePreferences preferences, bool translate, CancelToken* cancel)
{
    const std::chrono::milliseconds timeout = styler->timeout();
    const QPointer<CancelToken> caller(cancel);
    std::vector<Racer<StylerAnswer>> racers;
    racers.push_back(
        [=](CancelToken& own) { return askStyler(styler, mode, text, preferences, translate, &own, caller); });
    racers.push_back([clock, timeout](CancelToken& own) { return stylerTimeout(clock, timeout, &own); });
    const std::optional<StylerAnswer> answer = co_await firstOf(std::move(racers));
    if (!answer || !answer->text)
        throw TransportError(TransportError::Kind::TimedOut, QStringLiteral("请求超时"));
    co_return *answer->text;
}

// The second half of every entry point, from a cleaned transcript to the text to insert. A free
// coroutine taking copies, so nothing it uses can go away while it waits for the model.
QCoro::Task<DictationPipeline::Output> finish(DictationPipeline pipeline, Clock* clock, QString cleaned,
                                              StyleMode defaultMode, StylePreferences preferences, bool translate,
                                              int asrMs, int chunkCount, CancelToken* cancel)
{
    // The lexicon's file may still be loading at the first take after the start: waiting for it
    // leaves the event loop running, and no text goes out without the user's words and rules.
    co_await pipeline.lexicon()->whenLoaded();
    Lexicon& lexicon = *pipeline.lexicon();
    DictationPipeline::Output output;
    output.mode = defaultMode;
    output.asrMs = asrMs;
    output.chunkCount = chunkCount;

    if (!TranscriptHeuristics::hasMeaningfulContent(cleaned) ||
        TranscriptHeuristics::isVocabularyEcho(cleaned, *lexicon.hotwordMatcher()))
        co_return output;
    output.asrText = cleaned;

    const VoiceTrigger selected = VoiceTrigger::select(cleaned, defaultMode, pipeline.modes());
    output.mode = selected.mode;
    const QString sent = selected.text;
    const bool dropPeriods = !translate && preferences.noTrailingPeriod;

    // A short clean Chinese reply in raw mode is already what the user wants; the model would
    // only add latency.
    if (!translate && selected.mode.id == kRawModeId && TranscriptHeuristics::isCleanShortChinese(sent)) {
        output.finalText = dropPeriods ? AnswerGuards::withoutTrailingPeriods(sent) : sent;
        co_return output;
    }

    StylePreferences styling = preferences;
    const QStringList noteHotwords = lexicon.topHotwords(DictationPipeline::kNoteHotwords);
    if (!noteHotwords.isEmpty())
        styling.customNotes += DictationPipeline::englishTermsNote(noteHotwords);

    const std::chrono::milliseconds styleStart = clock->now();
    QString answer;
    bool failed = false;
    try {
        answer = co_await styleInTime(pipeline.styler(), clock, selected.mode, sent, styling, translate, cancel);
    } catch (...) {
        // The unstyled text is still worth inserting; the controller offers to style it again.
        failed = true;
    }
    if (failed)
        answer = sent;
    output.styleMs = elapsedMs(clock, styleStart);
    output.stylingFailed = failed;
    // A blank answer leaves the text as it was sent: nothing was styled, and the user is told so.
    output.stylingBlank = !failed && answer.trimmed().isEmpty() && !sent.trimmed().isEmpty();

    answer = AnswerGuards::guard(answer, sent);
    output.finalText = dropPeriods ? AnswerGuards::withoutTrailingPeriods(answer) : answer;
    co_return output;
}

// A recognised transcript through the lexicon, once it is loaded, and on to finish.
QCoro::Task<DictationPipeline::Output> cleanAndFinish(DictationPipeline pipeline, Clock* clock, QString raw,
                                                      StyleMode defaultMode, StylePreferences preferences,
                                                      bool translate, int asrMs, int chunkCount, CancelToken* cancel)
{
    co_await pipeline.lexicon()->whenLoaded();
    QString cleaned = cleanTranscript(*pipeline.lexicon(), raw);
    co_return co_await finish(std::move(pipeline), clock, std::move(cleaned), std::move(defaultMode),
                              std::move(preferences), translate, asrMs, chunkCount, cancel);
}

QCoro::Task<DictationPipeline::Output> recognizeSamples(DictationPipeline pipeline, Clock* clock,
                                                        std::shared_ptr<const Samples> samples, StyleMode defaultMode,
                                                        StylePreferences preferences, bool translate,
                                                        std::optional<QString> languageHint, QStringList vocabulary,
                                                        CancelToken* cancel)
{
    const auto split = [](const Samples& all) {
        return AudioChunker::split(all, kRecordingSampleRate, DictationPipeline::kChunkSeconds,
                                   DictationPipeline::kSearchWindowSeconds, DictationPipeline::kOverlapSeconds);
    };
    std::vector<Samples> chunks;
    if (qsizetype(samples->size()) >= kWorkerSamples) {
        // Cutting and copying minutes of samples would hold the caller's thread for frames. The
        // chunks come back shared so the future's result is not copied either.
        QFuture<std::shared_ptr<std::vector<Samples>>> splitting =
            QtConcurrent::run(&bulkPool(), [split, all = std::move(samples)] {
                return std::make_shared<std::vector<Samples>>(split(*all));
            });
        chunks = std::move(*(co_await splitting));
    } else {
        chunks = split(*samples);
        samples.reset();
    }
    const int chunkCount = int(chunks.size());
    const std::chrono::milliseconds start = clock->now();

    QString raw;
    if (chunkCount == 1) {
        // One request and no retry: a short dictation that fails is better reported at once.
        QByteArray wav;
        if (qsizetype(chunks.front().size()) >= kWorkerSamples) {
            QFuture<QByteArray> encoding = QtConcurrent::run(&bulkPool(), [whole = std::move(chunks.front())] {
                return WavEncoder::encode(whole, kRecordingSampleRate);
            });
            wav = co_await encoding;
        } else {
            wav = WavEncoder::encode(chunks.front(), kRecordingSampleRate);
        }
        chunks.clear();
        raw = co_await pipeline.provider()->transcribe(wav, vocabulary, languageHint, cancel);
    } else {
        const QStringList texts = co_await ChunkRecognition::recognize(pipeline.provider(), std::move(chunks),
                                                                       vocabulary, languageHint, clock, cancel);
        raw = TranscriptHeuristics::stitchOverlapping(texts);
    }
    const int asrMs = elapsedMs(clock, start);
    co_return co_await cleanAndFinish(std::move(pipeline), clock, raw, std::move(defaultMode), std::move(preferences),
                                      translate, asrMs, chunkCount, cancel);
}

QCoro::Task<DictationPipeline::Output> recognizeWav(DictationPipeline pipeline, Clock* clock, QByteArray wavData,
                                                    StyleMode defaultMode, StylePreferences preferences, bool translate,
                                                    CancelToken* cancel)
{
    const std::chrono::milliseconds start = clock->now();
    const QStringList vocabulary = pipeline.lexicon()->asrHotwords();
    const QString raw = co_await pipeline.provider()->transcribe(wavData, vocabulary, std::nullopt, cancel);
    const int asrMs = elapsedMs(clock, start);
    co_return co_await cleanAndFinish(std::move(pipeline), clock, raw, std::move(defaultMode), std::move(preferences),
                                      translate, asrMs, 1, cancel);
}

} // namespace

DictationPipeline::DictationPipeline(std::shared_ptr<const AsrProvider> provider, std::shared_ptr<const Styler> styler,
                                     std::shared_ptr<Lexicon> lexicon, QList<StyleMode> modes, Clock* clock)
    : m_provider(std::move(provider))
    , m_styler(std::move(styler))
    , m_lexicon(std::move(lexicon))
    , m_modes(std::move(modes))
    , m_clock(clock)
{}

QCoro::Task<DictationPipeline::Output> DictationPipeline::run(Samples samples, StyleMode defaultMode,
                                                              StylePreferences preferences, bool translate,
                                                              std::optional<QString> languageHint,
                                                              CancelToken* cancel) const
{
    return run(std::make_shared<const Samples>(std::move(samples)), std::move(defaultMode), std::move(preferences),
               translate, std::move(languageHint), m_lexicon->asrHotwords(), cancel);
}

QCoro::Task<DictationPipeline::Output> DictationPipeline::run(std::shared_ptr<const Samples> samples,
                                                              StyleMode defaultMode, StylePreferences preferences,
                                                              bool translate, std::optional<QString> languageHint,
                                                              QStringList vocabulary, CancelToken* cancel) const
{
    return recognizeSamples(*this, m_clock, std::move(samples), std::move(defaultMode), std::move(preferences),
                            translate, std::move(languageHint), std::move(vocabulary), cancel);
}

QCoro::Task<DictationPipeline::Output> DictationPipeline::run(QByteArray wavData, StyleMode defaultMode,
                                                              StylePreferences preferences, bool translate,
                                                              CancelToken* cancel) const
{
    return recognizeWav(*this, m_clock, std::move(wavData), std::move(defaultMode), std::move(preferences), translate,
                        cancel);
}

QCoro::Task<DictationPipeline::Output> DictationPipeline::process(QString rawText, StyleMode defaultMode,
                                                                  StylePreferences preferences, bool translate,
                                                                  int asrMs, CancelToken* cancel) const
{
    return cleanAndFinish(*this, m_clock, std::move(rawText), std::move(defaultMode), std::move(preferences), translate,
                          asrMs, 0, cancel);
}

QCoro::Task<DictationPipeline::Output> DictationPipeline::restyle(QString asrText, StyleMode defaultMode,
                                                                  StylePreferences preferences, bool translate,
                                                                  int asrMs, CancelToken* cancel) const
{
    return finish(*this, m_clock, std::move(asrText), std::move(defaultMode), std::move(preferences), translate, asrMs,
                  0, cancel);
}

QString DictationPipeline::englishTermsNote(const QStringList& hotwords)
{
    return QStringLiteral("\n用户反复用到的英文专名/术语（标准写法）：") +
           hotwords.mid(0, kNoteHotwords).join(QStringLiteral("、")) +
           QStringLiteral("。**这些名字本就是英文，绝不能在转写里以中文音译形式出现**"
                          "：听写稿里只要某处与清单里某个英文名沾边——它的"
                          "中文音译、近音写法、或大小写/拼写变体，哪怕 ASR "
                          "音译得不准——一律还原成清单里的英文标准写法，不要保留成中文。") +
           QStringLiteral(
               "（举例说明做法，名字以你看到的清单为准：若清单里有英文名 Alex，名字位置出现读音沾边的中文\"阿历克斯/"
               "阿莱克斯\"之类就还原为 Alex；若清单里有地名 Boston，被听成\"波士顿\"就还原为 Boston。）") +
           QStringLiteral("判据放宽：当一个**不像常见中文人名**的词出现在人名/称呼位置（\"我的导师是X\"\"X 老师\"\"X "
                          "说\"），且与清单里某英文名读音沾边，就优先还原成那个英文名。") +
           QStringLiteral("更一般地：说话人口述时夹的英文词，若被 ASR "
                          "写成了中文音译，能判断出原英文就还原成英文，不要无谓地留成中文。") +
           QStringLiteral("但守住边界：已经正确的保持不变；清单外、且无明显英文来源线索的普通中文词不要臆测改动。");
}
