// Arbitrary bytes as a lexicon import file (the settings window reads it as UTF-8), parsed and
// then imported into an empty lexicon as the settings window imports it.
#include "core/store/Lexicon.h"
#include "core/store/LexiconImport.h"
#include "core/store/RuleReplacement.h"
#include "core/store/TextClass.h"
#include "fuzz/FuzzInput.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

bool trimmed(const QString& text)
{
    return TextClass::trimSpacesAndTabs(text) == text;
}

// The import keeps no refused rule and no two rules for one wrong, counts every rule it kept, and
// saves exactly what it holds.
void importIntoEmptyLexicon(const QString& text)
{
    static const QTemporaryDir dir;
    QFile::remove(dir.filePath(Lexicon::kFileName));
    Lexicon lexicon(dir.path());
    const Lexicon::ImportCounts counts = lexicon.importText(text);
    const QList<LearnedRule> rules = lexicon.allRules();
    if (counts.rules < rules.size())
        std::abort();
    QSet<QString> wrongs;
    for (const LearnedRule& rule : rules) {
        const QString key = RuleReplacement::searchKey(rule.wrong);
        if (Lexicon::isRefused(rule.wrong, rule.right, rule.source) || wrongs.contains(key))
            std::abort();
        wrongs.insert(key);
    }
    if (!lexicon.flush())
        std::abort();
    const Lexicon reread(dir.path());
    if (reread.exportSnapshot() != lexicon.exportSnapshot())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    for (const LexiconImport::Entry& entry : LexiconImport::parse(text)) {
        if (!trimmed(entry.wrong) || !trimmed(entry.right))
            std::abort();
        if (entry.kind == LexiconImport::Entry::Kind::Hotword &&
            (entry.wrong.isEmpty() || entry.wrong.startsWith(QLatin1Char('#')) || !entry.right.isEmpty()))
            std::abort();
        for (const QString& side : {entry.wrong, entry.right}) {
            for (const QChar c : {QChar(u'\n'), QChar(u'\r'), QChar(0x2028)}) {
                if (side.contains(c))
                    std::abort(); // an entry never spans lines
            }
        }
    }
    importIntoEmptyLexicon(text);
    return 0;
}
