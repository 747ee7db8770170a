#include "core/text/ChunkRecognition.h"

#include "core/async/CancelToken.h"
#include "core/async/Sleep.h"
#include "core/audio/Samples.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"

#include <QCoroFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

namespace ChunkRecognition {

namespace {

// What the workers share. Only the coroutines of one recognize() call touch it, all on its thread;
// the encoder reads a chunk while the coroutine that asked for it waits.
struct Batch
{
    Batch() { encoder.setMaxThreadCount(1); }

    std::shared_ptr<const AsrProvider> provider;
    std::vector<Samples> chunks;
    // A minute's chunk takes milliseconds to encode, and the first slots all start in one turn of
    // the caller's event loop, which is the interface's. One thread, so that the chunks reach the
    // recogniser in the order they were taken.
    QThreadPool encoder;
    QStringList vocabulary;
    std::optional<QString> languageHint;
    Clock* clock = nullptr;

    QStringList texts;
    std::size_t next = 0;
    std::exception_ptr error; // the first failure; later ones are its consequences
    CancelToken cancel;       // raised on the first failure or by the caller
};

QCoro::Task<QString> recognizeOne(std::shared_ptr<Batch> batch, std::size_t index)
{
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        bool silent = false;
        try {
            // Encoded afresh for every attempt so only one WAV image per chunk is alive at a time.
            QFuture<QByteArray> encoding = QtConcurrent::run(&batch->encoder, [chunk = &batch->chunks[index]] {
                return WavEncoder::encode(*chunk, kRecordingSampleRate);
            });
            const QByteArray wav = co_await encoding;
            QString text =
                co_await batch->provider->transcribe(wav, batch->vocabulary, batch->languageHint, &batch->cancel);
            co_return text;
        } catch (const AsrError& error) {
            // A chunk of a long take may be nothing but a pause: heard as nothing, not as a fault,
            // and asking again would only hear nothing again.
            silent = error.kind() == AsrError::Kind::EmptyResult;
            failure = std::current_exception();
        } catch (...) {
            failure = std::current_exception();
        }
        if (silent)
            co_return QString();
        if (attempt >= kAttempts)
            std::rethrow_exception(failure);
        // A wait cut short by cancellation still leads to the next attempt, which the raised token
        // ends at once.
        co_await sleepFor(batch->clock, kRetryStep * attempt, &batch->cancel);
    }
}

// One of the kMaxInFlight slots: takes the next chunk in order until none is left or the batch
// has failed. Never throws, so the parent can await every worker.
QCoro::Task<void> worker(std::shared_ptr<Batch> batch)
{
    while (batch->next < batch->chunks.size() && !batch->cancel.isCancelled()) {
        const std::size_t index = batch->next++;
        try {
            QString text = co_await recognizeOne(batch, index);
            batch->texts[qsizetype(index)] = text;
        } catch (...) {
            if (!batch->error)
                batch->error = std::current_exception();
            batch->cancel.cancel();
        }
    }
}

} // namespace

QCoro::Task<QStringList> recognize(std::shared_ptr<const AsrProvider> provider, std::vector<Samples> chunks,
                                   QStringList vocabulary, std::optional<QString> languageHint, Clock* clock,
                                   CancelToken* cancel)
{
    auto batch = std::make_shared<Batch>();
    batch->provider = std::move(provider);
    batch->chunks = std::move(chunks);
    batch->vocabulary = std::move(vocabulary);
    batch->languageHint = std::move(languageHint);
    batch->clock = clock;
    batch->texts = QStringList(qsizetype(batch->chunks.size()));

    if (cancel) {
        if (cancel->isCancelled())
            batch->cancel.cancel();
        else
            QObject::connect(cancel, &CancelToken::cancelled, &batch->cancel, &CancelToken::cancel);
    }
    if (batch->cancel.isCancelled())
        throw CancelledError();

    std::vector<QCoro::Task<void>> workers;
    const std::size_t slots = std::min<std::size_t>(kMaxInFlight, batch->chunks.size());
    for (std::size_t i = 0; i < slots; ++i)
        workers.push_back(worker(batch));
    for (QCoro::Task<void>& task : workers)
        co_await std::move(task);

    if (batch->error)
        std::rethrow_exception(batch->error);
    // Some silent chunks are pauses; a take in which every chunk is silent heard nothing at all.
    if (!batch->texts.isEmpty() &&
        std::all_of(batch->texts.cbegin(), batch->texts.cend(), [](const QString& text) { return text.isEmpty(); }))
        throw AsrError::emptyResult();
    co_return batch->texts;
}

} // namespace ChunkRecognition
