#include "core/store/LexiconSnapshot.h"

#include "core/net/Json.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <algorithm>
#include <thread>

namespace {

// Rules encoded together on one thread.
constexpr qsizetype kRulesPerSlice = 2048;

const QString kRules = QStringLiteral("rules");
const QString kHotwords = QStringLiteral("hotwords");

// A snapshot read out of its document with the rules' texts still in one buffer: their strings
// are made once the document is gone, one after the other, on a thread of their own (see
// decodeWith), so that a lexicon of a hundred thousand rules does not leave its parse's memory in
// pieces between them for as long as it lives.
struct Unpacked
{
    LexiconSnapshot snapshot; // every rule without its texts
    WordList ruleTexts;       // wrong, right and source of each rule, in turn
};

std::optional<Unpacked> unpack(const QJsonDocument& document, const QJsonParseError& error)
{
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue rules = object.value(kRules);
    const QJsonValue hotwords = object.value(kHotwords);
    if (!rules.isArray() || !hotwords.isArray())
        return std::nullopt;

    Unpacked unpacked;
    const QJsonArray ruleArray = rules.toArray();
    unpacked.snapshot.rules.reserve(ruleArray.size());
    for (const QJsonValue& value : ruleArray) {
        std::optional<LearnedRule> rule = LearnedRule::fromJson(value);
        if (!rule)
            return std::nullopt;
        for (QString* text : {&rule->wrong, &rule->right, &rule->source}) {
            unpacked.ruleTexts.append(*text);
            *text = QString();
        }
        unpacked.snapshot.rules.append(std::move(*rule));
    }
    const QJsonArray hotwordArray = hotwords.toArray();
    for (const QJsonValue& value : hotwordArray) {
        if (!value.isString())
            return std::nullopt;
        unpacked.snapshot.hotwords.append(value.toString());
    }
    return unpacked;
}

// Gives the rules their texts; the few distinct sources are shared.
LexiconSnapshot packed(Unpacked unpacked)
{
    constexpr qsizetype kSharedSources = 16;
    QStringList sources;
    LexiconSnapshot snapshot = std::move(unpacked.snapshot);
    const WordList& texts = unpacked.ruleTexts;
    for (qsizetype i = 0; i < snapshot.rules.size(); ++i) {
        LearnedRule& rule = snapshot.rules[i];
        rule.wrong = texts.at(3 * i).toString();
        rule.right = texts.at(3 * i + 1).toString();
        const QStringView source = texts.at(3 * i + 2);
        const auto shared = std::find(sources.cbegin(), sources.cend(), source);
        if (shared != sources.cend()) {
            rule.source = *shared;
        } else {
            rule.source = source.toString();
            if (sources.size() < kSharedSources)
                sources.append(rule.source);
        }
    }
    return snapshot;
}

// Reads the document that parse makes of bytes, and lets it go before the rules get their texts.
template <typename Parse> std::optional<LexiconSnapshot> decodeWith(const QByteArray& bytes, Parse parse)
{
    std::optional<Unpacked> unpacked;
    {
        QJsonParseError error;
        const QJsonDocument document = parse(bytes, &error);
        unpacked = unpack(document, error);
    }
    if (!unpacked)
        return std::nullopt;
    // The parse left this thread's pool full of holes, and the C library would put each small text
    // in one, pinning a page of freed memory for every few rules. A thread started for them takes its
    // memory from a pool of its own, where they lie together: 100,000 rules hold 50 MB less.
    std::optional<LexiconSnapshot> snapshot;
    std::thread maker([&snapshot, &unpacked] { snapshot = packed(std::move(*unpacked)); });
    maker.join();
    return snapshot;
}

} // namespace

QByteArray LexiconSnapshot::encode() const
{
    const qsizetype ruleCount = rules.size();
    const auto encodeSlice = [this, ruleCount](qsizetype first) {
        QByteArray text;
        for (qsizetype i = first; i < std::min(ruleCount, first + kRulesPerSlice); ++i) {
            if (i > first)
                text.append(',');
            rules[i].appendJson(text);
        }
        return text;
    };
    // A save follows every dictation that hit a rule: tens of thousands of rules are encoded in
    // slices on several threads, the calling one among them. They read this snapshot only, which
    // nothing changes while it is encoded: it is a value of its own, not a view of the lexicon.
    QList<qsizetype> firsts;
    for (qsizetype first = 0; first < ruleCount; first += kRulesPerSlice)
        firsts.append(first);
    const QList<QByteArray> slices = firsts.size() > 1
                                         ? QtConcurrent::blockingMapped<QList<QByteArray>>(firsts, encodeSlice)
                                         : QList<QByteArray>{encodeSlice(0)};
    // The keys in the order the JSON encoder sorts them.
    QByteArray out("{\"hotwords\":");
    hotwords.appendJson(out);
    out.append(",\"rules\":[");
    for (qsizetype i = 0; i < slices.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(slices[i]);
    }
    out.append("]}");
    return out;
}

std::optional<LexiconSnapshot> LexiconSnapshot::decode(const QByteArray& bytes)
{
    return decodeWith(bytes, &ValidUtf16::fromJson);
}

std::optional<LexiconSnapshot> LexiconSnapshot::decodeServiceText(const QByteArray& bytes)
{
    return decodeWith(bytes, &serviceJson);
}
