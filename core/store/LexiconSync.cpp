#include "core/store/LexiconSync.h"

#include "core/store/Lexicon.h"

#include <QDateTime>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

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

    int added = 0;
    if (remote) {
        const std::optional<int> merged = lexicon->merge(*remote);
        if (!merged) {
            std::printf("lexicon sync: the account's copy cannot be read, nothing pushed\n");
            co_return 0;
        }
        added = *merged;
    }

    const std::optional<QByteArray> snapshot = lexicon->exportSnapshot();
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
