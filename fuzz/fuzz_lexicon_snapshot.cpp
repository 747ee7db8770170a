// Arbitrary bytes as "lexicon.json" or the account's copy fetched during a sync. What decodes is
// also run as rules, since a rule's text from outside becomes part of a regular expression.
// The account's copy is service text: nothing of it that becomes a rule or a hotword may hold a
// control character.
#include "core/store/LexiconSnapshot.h"
#include "core/store/RuleReplacement.h"
#include "core/store/TextClass.h"
#include "fuzz/FuzzInput.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdlib>

namespace {

bool holdsDroppedControl(const LexiconSnapshot& snapshot)
{
    for (const LearnedRule& rule : snapshot.rules) {
        if (holdsDroppedControl(rule.wrong) || holdsDroppedControl(rule.right) || holdsDroppedControl(rule.source))
            return true;
    }
    return std::any_of(snapshot.hotwords.begin(), snapshot.hotwords.end(),
                       [](QStringView word) { return holdsDroppedControl(word.toString()); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const std::optional<LexiconSnapshot> copy = LexiconSnapshot::decodeServiceText(bytes);
    if (copy && holdsDroppedControl(*copy))
        std::abort(); // what a service sends is cleared of control characters

    const std::optional<LexiconSnapshot> snapshot = LexiconSnapshot::decode(bytes);
    if (!snapshot)
        return 0;

    // Whatever was read is written back as a document that reads the same.
    const QByteArray encoded = snapshot->encode();
    const std::optional<LexiconSnapshot> again = LexiconSnapshot::decode(encoded);
    if (!again || again->rules != snapshot->rules || again->hotwords != snapshot->hotwords ||
        again->encode() != encoded)
        std::abort();
    // The document is written without a JSON tree, yet byte for byte as the tree would be.
    QJsonArray rules;
    for (const LearnedRule& rule : snapshot->rules)
        rules.append(rule.toJson());
    const QJsonObject tree{{QStringLiteral("rules"), rules},
                           {QStringLiteral("hotwords"), QJsonArray::fromStringList(snapshot->hotwords.toStringList())}};
    if (encoded != QJsonDocument(tree).toJson(QJsonDocument::Compact))
        std::abort();

    const QString text = QStringLiteral("用 gpt 写 etc. 北经的 café cafe\u0301 a.b $0 \\");
    int ruleBudget = 64;
    for (const LearnedRule& rule : snapshot->rules) {
        if (--ruleBudget < 0)
            break;
        if (TextClass::isAscii(rule.wrong)) {
            const QRegularExpression pattern = RuleReplacement::wordPattern(rule.wrong);
            if (!pattern.isValid())
                std::abort(); // escaping must make every rule text a valid pattern
            (void)RuleReplacement::replaceWords(text + rule.wrong + u' ', pattern, rule.right);
        } else {
            (void)RuleReplacement::replaceCanonical(text + rule.wrong, rule.wrong, rule.right);
        }
    }
    return 0;
}
