#include "core/store/LexiconSync.h"

#include "core/async/BulkPool.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/LexiconTooLargeError.h"
#include "core/store/Lexicon.h"

#include <QCoroFuture>
#include <QDateTime>
#include <QtConcurrent>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

// What a pass learnt from folding the account's copy in: how many rules and hotwords it added
// (nothing for a copy that cannot be read), and the merged lexicon to push.
struct Folded
{
    std::optional<int> added = 0;
    std::optional<QByteArray> snapshot;
};

// Takes everything by value: the pass outlives the LexiconSync it was started from.
QCoro::Task<LexiconSync::Pass> syncPass(GatewayClient client, QString syncKey, std::shared_ptr<Lexicon> lexicon)
{
    LexiconSync::Pass pass;
    // A lexicon the account's copy cannot hold is not sent, and nor is the copy fetched to merge
    // into it, until the lexicon shrinks: the size is looked at first, on a worker, since encoding
    // grows with the lexicon.
    const qint64 limit = GatewayClient::lexiconCopyLimit(syncKey);
    QFuture<qint64> sizing = QtConcurrent::run(&bulkPool(), [lexicon] { return qint64(lexicon->exportedSize()); });
    const qint64 size = co_await sizing;
    if (size > limit) {
        pass.stopped = LexiconTooLargeError(size, limit).description();
        co_return pass;
    }
    // The push replaces the account's copy, so it may only follow a pass that has seen that copy
    // (or found none): after a failed fetch, or a copy this version cannot read, pushing would
    // lose whatever the other machines put there.
    std::optional<QByteArray> remote;
    try {
        remote = co_await client.fetchLexicon(syncKey);
    } catch (const TransportError& error) {
        std::printf("lexicon sync: fetch failed, nothing pushed: %s\n", error.what());
        if (error.kind() == TransportError::Kind::AnswerTooLarge) {
            pass.stopped = QStringLiteral("账户中的词库副本过大，无法读取，同步已暂停，将在下次启动时重试");
            pass.waitForNextStart = true;
        }
        co_return pass;
    } catch (const std::exception& error) {
        std::printf("lexicon sync: fetch failed, nothing pushed: %s\n", error.what());
        co_return pass;
    } catch (...) {
        std::printf("lexicon sync: fetch failed, nothing pushed\n");
        co_return pass;
    }

    // Merging and encoding take time in proportion to both lexicons, and the merge saves: a
    // worker does both, and the event loop runs on meanwhile. The account's copy is moved in, so
    // that its megabytes are let go of there too.
    QFuture<Folded> folding = QtConcurrent::run(&bulkPool(), [lexicon, remote = std::move(remote)] {
        Folded folded;
        if (remote) {
            folded.added = lexicon->merge(*remote);
            if (!folded.added)
                return folded;
        }
        folded.snapshot = lexicon->exportSnapshot();
        return folded;
    });
    Folded folded = co_await folding;
    // The future keeps a copy of the result: dropped here, the snapshot is ours alone and goes
    // whole into the push, which lets go of it on a worker.
    folding = QFuture<Folded>();
    if (!folded.added) {
        std::printf("lexicon sync: the account's copy cannot be read, nothing pushed\n");
        co_return pass;
    }
    pass.added = *folded.added;
    if (!folded.snapshot)
        co_return pass;
    QByteArray snapshot = std::move(*folded.snapshot);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    try {
        co_await client.pushLexicon(syncKey, std::move(snapshot), now);
        pass.pushed = true;
    } catch (const LexiconTooLargeError& error) {
        std::printf("lexicon sync: not pushed: %s\n", error.what());
        pass.stopped = error.description();
    } catch (const AsrError& error) {
        std::printf("lexicon sync: push refused: %s\n", error.what());
        pass.stopped =
            QStringLiteral("账户未能保存词库 (HTTP %1)，同步已暂停，将在下次启动或学到新词时重试").arg(error.status());
    } catch (const std::exception& error) {
        std::printf("lexicon sync: push failed: %s\n", error.what());
    } catch (...) {
        std::printf("lexicon sync: push failed\n");
    }
    co_return pass;
}

} // namespace

LexiconSync::LexiconSync(GatewayClient client, QString syncKey)
    : m_client(std::move(client))
    , m_syncKey(std::move(syncKey))
{}

QCoro::Task<LexiconSync::Pass> LexiconSync::sync(std::shared_ptr<Lexicon> lexicon) const
{
    return syncPass(m_client, m_syncKey, std::move(lexicon));
}
