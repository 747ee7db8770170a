// Arbitrary pairs of texts as a produced transcript and the user's correction of it. The first
// zero byte separates the two; without one the input is cut in half.
#include "core/store/Lexicon.h"
#include "core/text/Graphemes.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    qsizetype cut = bytes.indexOf('\0');
    const qsizetype skip = cut < 0 ? 0 : 1;
    if (cut < 0)
        cut = bytes.size() / 2;
    const QString original = QString::fromUtf8(bytes.left(cut));
    const QString corrected = QString::fromUtf8(bytes.mid(cut + skip));

    const QList<CorrectionPair> pairs = Lexicon::extractCorrections(original, corrected);
    for (const CorrectionPair& pair : pairs) {
        if (pair.wrong.isEmpty() || pair.right.isEmpty() || Graphemes::count(pair.wrong) > 20 ||
            Graphemes::count(pair.right) > 20)
            std::abort();
        (void)Lexicon::isBadRule(pair.wrong, pair.right);
    }
    if (original == corrected && !pairs.isEmpty())
        std::abort(); // identical texts teach nothing
    return 0;
}
