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

    // Never fails. A failed fetch, or an account copy this version cannot read, ends the pass
    // without a push (the copy may hold what other machines learnt); a failed push leaves the
    // account copy for the next pass. Returns how many rules and hotwords the account copy
    // added locally. Passes may overlap; the lexicon's own lock keeps it consistent and the
    // later push wins on the account.
    QCoro::Task<int> sync(std::shared_ptr<Lexicon> lexicon) const;

    static inline const QString kDefaultSyncKey = QStringLiteral("kelto-personal");

private:
    GatewayClient m_client;
    QString m_syncKey;
};
