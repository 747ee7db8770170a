#pragma once

#include "core/store/LexiconRules.h"
#include "core/store/WordList.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The lexicon as one JSON document: the content of "lexicon.json" and the payload kept on the
// gateway for the account. Only the extra hotwords are stored; those derived from rules are not.
struct LexiconSnapshot
{
    LexiconRules rules;
    WordList hotwords;

    // Compact JSON: {"rules":[...],"hotwords":[...]}, byte for byte what QJsonDocument writes.
    QByteArray encode() const;
    // The size of encode(), counted without holding the document.
    qsizetype encodedSize() const;
    // Both top-level keys and every rule key are required; a document missing any of them, or
    // holding a value of the wrong type, is unreadable as a whole. Bytes moved in are let go of as
    // soon as they are read, before the rules are made.
    static std::optional<LexiconSnapshot> decode(QByteArray bytes);
    // decode for the account's copy, which is service text like any gateway answer: its strings
    // are cleared of control characters (serviceJson) before they can become rules that are
    // applied and pasted.
    static std::optional<LexiconSnapshot> decodeServiceText(QByteArray bytes);
};
