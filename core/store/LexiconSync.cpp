#include "core/store/LexiconSync.h"

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
QCoro::Task<int> syncPass(GatewayClient client, QString syncKey, std::shared_ptr<Lexicon> lexicon)
{
    // The push replaces the account's copy, so it may only follow a pass that has seen that copy
    // (or found none): after a failed fetch, or a copy this version cannot read, pushing would
    // lose whatever the other machines put there.
    std::optional<QByteArray> remote;
    try {
        remote = co_await client.fetchLexicon(syncKey);
    } catch (const std::exception& error) {
        std::printf("lexicon sync: fetch failed, nothing pushed: %s\n", error.what());
        co_return 0;
    } catch (...) {
        std::printf("lexicon sync: fetch failed, nothing pushed\n");
        co_return 0;
    }

    // Merging and encoding take time in proportion to both lexicons, and the merge saves: a
    // worker does both, and the event loop runs on meanwhile.
    QFuture<Folded> folding = QtConcurrent::run([lexicon, remote] {
        Folded folded;
        if (remote) {
            folded.added = lexicon->merge(*remote);
            if (!folded.added)
                return folded;
        }
        folded.snapshot = lexicon->exportSnapshot();
        return folded;
    });
    const Folded folded = co_await folding;
    if (!folded.added) {
        std::printf("lexicon sync: the account's copy cannot be read, nothing pushed\n");
        co_return 0;
    }
    const int added = *folded.added;
    const std::optional<QByteArray>& snapshot = folded.snapshot;
    if (!snapshot)
        co_return added;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    try {
        co_await client.pushLexicon(syncKey, *snapshot, now);
    } catch (const std::exception& error) {
        std::printf("lexicon sync: push failed: %s\n", error.what());
    } catch (...) {
        std::printf("lexicon sync: push failed\n");
    }
    co_return added;
}

} // namespace

LexiconSync::LexiconSync(GatewayClient client, QString syncKey)
    : m_client(std::move(client))
    , m_syncKey(std::move(syncKey))
{}

QCoro::Task<int> LexiconSync::sync(std::shared_ptr<Lexicon> lexicon) const
{
    return syncPass(m_client, m_syncKey, std::move(lexicon));
}
