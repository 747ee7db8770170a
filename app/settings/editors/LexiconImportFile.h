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

// read, then Lexicon::importText; the counts of what was stored, or the refusal.
std::variant<Lexicon::ImportCounts, Refusal> import(const std::shared_ptr<Lexicon>& lexicon, const QString& path);

// The outcome line shown next to the import button.
QString resultLine(const Lexicon::ImportCounts& counts);

} // namespace LexiconImportFile
