// Arbitrary bytes as a lexicon import file (the settings window reads it as UTF-8).
#include "core/store/LexiconImport.h"
#include "core/store/TextClass.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

namespace {

bool trimmed(const QString& text)
{
    return TextClass::trimSpacesAndTabs(text) == text;
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
    return 0;
}
