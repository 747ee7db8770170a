#include "core/store/Lexicon.h"

#include "core/audio/FreedMemory.h"
#include "core/store/LexiconSnapshot.h"

#include <QtConcurrent>

#include <algorithm>
#include <vector>

// The lexicon as it is saved: each rule's text kept from one save to the next, and encoded again
// only once the rule changed.

std::optional<QByteArray> Lexicon::exportSnapshot() const
{
    const auto lock = lockLoaded();
    return encodeLocked();
}

void Lexicon::ruleChangedLocked(StoredRule& stored)
{
    m_unusedEncodedBytes += stored.encodedSize;
    stored.encodedAt = -1;
    stored.encodedSize = 0;
}

void Lexicon::encodeChangedRulesLocked() const
{
    // A rule to encode, and its text once encoded.
    struct Encoding
    {
        qsizetype rule = 0;
        QByteArray text;
    };
    std::vector<Encoding> changed;
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (m_rules[i].encodedAt < 0)
            changed.push_back(Encoding{i, {}});
    }
    if (changed.empty())
        return;
    // After an import of thousands of lines, encoding the new rules one by one is most of the
    // user's wait; each rule encodes on its own, so they are spread over the cores. The calling
    // thread takes part, so this ends even when every worker is busy.
    const auto encode = [this](Encoding& encoding) { encoding.text = m_rules[encoding.rule].rule.encode(); };
    if (qsizetype(changed.size()) >= kRulesEncodedTogether)
        QtConcurrent::blockingMap(changed, encode);
    else
        std::for_each(changed.begin(), changed.end(), encode);
    // The texts of changed and removed rules are dropped once they are half of what is kept.
    if (m_unusedEncodedBytes * 2 > m_encodedRules.size()) {
        QByteArray kept;
        kept.reserve(m_encodedRules.size() - m_unusedEncodedBytes);
        for (const StoredRule& stored : m_rules) {
            if (stored.encodedAt < 0)
                continue;
            const qsizetype at = kept.size();
            kept.append(QByteArrayView(m_encodedRules).sliced(stored.encodedAt, stored.encodedSize));
            stored.encodedAt = at;
        }
        m_encodedRules = std::move(kept);
        m_unusedEncodedBytes = 0;
    }
    for (const Encoding& encoding : changed) {
        const StoredRule& stored = m_rules[encoding.rule];
        stored.encodedAt = m_encodedRules.size();
        stored.encodedSize = encoding.text.size();
        m_encodedRules.append(encoding.text);
    }
}

QByteArray Lexicon::encodeLocked() const
{
    encodeChangedRulesLocked();
    QList<QByteArrayView> encodedRules;
    encodedRules.reserve(m_rules.size());
    for (const StoredRule& stored : m_rules)
        encodedRules.append(QByteArrayView(m_encodedRules).sliced(stored.encodedAt, stored.encodedSize));
    QByteArray encoded = LexiconSnapshot::assemble(encodedRules, m_extraHotwords);
    // Encoding a large lexicon passes through several times its size in small pieces, on several
    // threads.
    if (encoded.size() >= kLargeLexiconBytes)
        FreedMemory::giveBackSoon();
    return encoded;
}
