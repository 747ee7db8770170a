#pragma once

#include "core/store/LearnedRule.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

// The lexicon as one JSON document: the content of "lexicon.json" and the payload kept on the
// gateway for the account. Only the extra hotwords are stored; those derived from rules are not.
struct LexiconSnapshot
{
    QList<LearnedRule> rules;
    QStringList hotwords;

    // Compact JSON: {"rules":[...],"hotwords":[...]}.
    QByteArray encode() const;
    // Both top-level keys and every rule key are required; a document missing any of them, or
    // holding a value of the wrong type, is unreadable as a whole.
    static std::optional<LexiconSnapshot> decode(const QByteArray& bytes);
};
