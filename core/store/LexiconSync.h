#pragma once

#include "core/recognition/GatewayClient.h"

#include <QCoroTask>
#include <QString>

#include <memory>

class Lexicon;

// Keeps the lexicon with the user's account: one pass pulls the account's copy, merges it into
// the local lexicon (which only ever gains) and pushes the merged result back under the same key.
class LexiconSync
{
public:
    LexiconSync(GatewayClient client, QString syncKey);

    const GatewayClient& client() const { return m_client; }
    const QString& syncKey() const { return m_syncKey; }

    // What one pass did.
    struct Pass
    {
        // How many rules and hotwords the account copy added locally.
        int added = 0;
        // The account copy now holds this lexicon.
        bool pushed = false;
        // Why the lexicon and the account copy no longer meet, in words for the user: a copy too
        // large to read, a lexicon too large to send, the gateway refusing the copy. Empty when
        // nothing stands in the way, or when the failure is one that passes (no network). The
        // words say when syncing resumes, which the caller makes true: it syncs at start and
        // after the lexicon learnt something, and honours waitForNextStart.
        QString stopped;
        // The account's copy is too large to read: nothing this machine does changes that, so
        // the next pass is worth trying only at the next start.
        bool waitForNextStart = false;
    };

    // Never fails. A lexicon too large for the account's copy stops the pass before any request:
    // syncing stays stopped until the lexicon shrinks. A failed fetch, or an account copy this
    // version cannot read, ends the pass without a push (the copy may hold what other machines
    // learnt); a failed push leaves the account copy for the next pass. Passes may overlap; the
    // lexicon's own lock keeps it consistent and the later push wins on the account.
    QCoro::Task<Pass> sync(std::shared_ptr<Lexicon> lexicon) const;

    static inline const QString kDefaultSyncKey = QStringLiteral("kelto-personal");

private:
    GatewayClient m_client;
    QString m_syncKey;
};
