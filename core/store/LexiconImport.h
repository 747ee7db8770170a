#pragma once

#include <QList>
#include <QString>

// The plain-text lexicon format a user imports: one entry a line. A line with "wrong -> right"
// (or "→", or "=>") is a rule, any other line a hotword; "#" starts a comment.
namespace LexiconImport {

struct Entry
{
    enum class Kind
    {
        Rule,
        Hotword
    };
    Kind kind = Kind::Hotword;
    QString wrong; // the hotword itself for a hotword line
    QString right;

    friend bool operator==(const Entry&, const Entry&) = default;
};

// The entries in line order. Lines are split at every Unicode line end; blanks and tabs around
// a line and around each side of a rule are dropped, inner blanks kept. The first arrow a line
// contains decides it, and a line holding that arrow more than once is skipped.
QList<Entry> parse(const QString& text);

} // namespace LexiconImport
