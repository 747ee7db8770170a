#include "core/store/LexiconSnapshot.h"

#include "core/async/BulkPool.h"
#include "core/net/Json.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <algorithm>
#include <thread>

namespace {

const QString kRules = QStringLiteral("rules");
const QString kHotwords = QStringLiteral("hotwords");

// A snapshot read out of its document with the rules' texts still in one buffer: their strings
// are made once the document is gone, one after the other, on a thread of their own (see
// decodeWith), so that a lexicon of a hundred thousand rules does not leave its parse's memory in
// pieces between them for as long as it lives.
struct Unpacked
{
    QList<LearnedRule> rules; // every rule without its texts
    WordList hotwords;
    WordList ruleTexts; // wrong, right and source of each rule, in turn
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
    unpacked.rules.reserve(ruleArray.size());
    for (const QJsonValue& value : ruleArray) {
        std::optional<LearnedRule> rule = LearnedRule::fromJson(value);
        if (!rule)
            return std::nullopt;
        for (QString* text : {&rule->wrong, &rule->right, &rule->source}) {
            unpacked.ruleTexts.append(*text);
            *text = QString();
        }
        unpacked.rules.append(std::move(*rule));
    }
    const QJsonArray hotwordArray = hotwords.toArray();
    for (const QJsonValue& value : hotwordArray) {
        if (!value.isString())
            return std::nullopt;
        unpacked.hotwords.append(value.toString());
    }
    return unpacked;
}

// Gives the rules their texts; the few distinct sources are shared.
LexiconSnapshot packed(Unpacked unpacked)
{
    constexpr qsizetype kSharedSources = 16;
    QStringList sources;
    LexiconSnapshot snapshot;
    snapshot.hotwords = std::move(unpacked.hotwords);
    const WordList& texts = unpacked.ruleTexts;
    for (qsizetype i = 0; i < unpacked.rules.size(); ++i) {
        LearnedRule rule = std::move(unpacked.rules[i]);
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
        snapshot.rules.append(std::move(rule));
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
    const auto encodeBlock = [](const QList<LearnedRule>& block) {
        QByteArray text;
        for (qsizetype i = 0; i < block.size(); ++i) {
            if (i > 0)
                text.append(',');
            block[i].appendJson(text);
        }
        return text;
    };
    // A save follows every dictation that hit a rule: tens of thousands of rules are encoded block
    // by block on the bulk pool's threads, the calling one among them, never on the global pool,
    // where a frame is painted. They read this snapshot only, which nothing changes while it is
    // encoded: its blocks are shared with the lexicon, which copies one before changing it.
    const QList<QList<LearnedRule>>& blocks = rules.blocks();
    const QList<QByteArray> slices =
        blocks.size() > 1 ? QtConcurrent::blockingMapped<QList<QByteArray>>(&bulkPool(), blocks, encodeBlock)
                          : QList<QByteArray>{blocks.isEmpty() ? QByteArray() : encodeBlock(blocks.first())};
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
