#pragma once

#include "core/store/Lexicon.h"

#include <QString>

#include <memory>
#include <variant>

// Reading and importing a lexicon file the user chose. The file is outside data: it is read only
// up to a size cap, must be valid UTF-8, and goes into the lexicon in one step and one save.
// Safe to run on a worker thread (the lexicon takes its own lock).
namespace LexiconImportFile {

// Far beyond any hand-kept word list; a larger file is a wrong pick.
inline constexpr qint64 kMaxBytes = 8 * 1024 * 1024;

// The file's text, or the message telling the user why it was not read.
struct Refusal
{
    QString message;
};
std::variant<QString, Refusal> read(const QString& path, qint64 maxBytes = kMaxBytes);

// What an import stored, and how many of the file's lines the lexicon did not take: lines it
// cannot read and rules it refuses.
struct Outcome
{
    Lexicon::ImportCounts counts;
    int skippedLines = 0;
};

// read, then Lexicon::importText; what was stored, or the refusal. Waits for a worker of its own:
// never on the GUI thread.
std::variant<Outcome, Refusal> import(const std::shared_ptr<Lexicon>& lexicon, const QString& path);

// The outcome line shown next to the import button.
QString resultLine(const Outcome& outcome);

} // namespace LexiconImportFile
