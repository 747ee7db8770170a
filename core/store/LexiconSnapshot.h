#pragma once

#include "core/store/LearnedRule.h"
#include "core/store/WordList.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The lexicon as one JSON document: the content of "lexicon.json" and the payload kept on the
// gateway for the account. Only the extra hotwords are stored; those derived from rules are not.
struct LexiconSnapshot
{
    QList<LearnedRule> rules;
    WordList hotwords;

    // Compact JSON: {"rules":[...],"hotwords":[...]}.
    QByteArray encode() const;
    // The same document from rules already encoded one by one (LearnedRule::encode). The lexicon
    // keeps each rule's text and re-encodes only the rules that changed, because encoding a few
    // hundred rules through a JSON tree costs milliseconds on every save.
    static QByteArray assemble(const QList<QByteArrayView>& encodedRules, const WordList& hotwords);
    // Both top-level keys and every rule key are required; a document missing any of them, or
    // holding a value of the wrong type, is unreadable as a whole.
    static std::optional<LexiconSnapshot> decode(const QByteArray& bytes);
    // decode for the account's copy, which is service text like any gateway answer: its strings
    // are cleared of control characters (serviceJson) before they can become rules that are
    // applied and pasted.
    static std::optional<LexiconSnapshot> decodeServiceText(const QByteArray& bytes);
};
