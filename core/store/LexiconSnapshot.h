#pragma once

#include "core/store/LearnedRule.h"
#include "core/store/WordList.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>

// The lexicon as one JSON document: the content of "lexicon.json" and the payload kept on the
// gateway for the account. Only the extra hotwords are stored; those derived from rules are not.
struct LexiconSnapshot
{
    QList<LearnedRule> rules;
    WordList hotwords;

    // Compact JSON: {"rules":[...],"hotwords":[...]}.
    QByteArray encode() const;
    // The same document for ruleCount rules that rule gives one by one, for a lexicon that keeps
    // its rules in a list of its own.
    static QByteArray encode(qsizetype ruleCount, const std::function<const LearnedRule&(qsizetype)>& rule,
                             const WordList& hotwords);
    // Both top-level keys and every rule key are required; a document missing any of them, or
    // holding a value of the wrong type, is unreadable as a whole.
    static std::optional<LexiconSnapshot> decode(const QByteArray& bytes);
    // decode for the account's copy, which is service text like any gateway answer: its strings
    // are cleared of control characters (serviceJson) before they can become rules that are
    // applied and pasted.
    static std::optional<LexiconSnapshot> decodeServiceText(const QByteArray& bytes);
};
