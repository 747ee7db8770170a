#include "core/store/LexiconSnapshot.h"

#include "core/net/Json.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kRules = QStringLiteral("rules");
const QString kHotwords = QStringLiteral("hotwords");

std::optional<LexiconSnapshot> fromDocument(const QJsonDocument& document, const QJsonParseError& error)
{
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue rules = object.value(kRules);
    const QJsonValue hotwords = object.value(kHotwords);
    if (!rules.isArray() || !hotwords.isArray())
        return std::nullopt;

    LexiconSnapshot snapshot;
    const QJsonArray ruleArray = rules.toArray();
    snapshot.rules.reserve(ruleArray.size());
    for (const QJsonValue& value : ruleArray) {
        std::optional<LearnedRule> rule = LearnedRule::fromJson(value);
        if (!rule)
            return std::nullopt;
        snapshot.rules.append(std::move(*rule));
    }
    const QJsonArray hotwordArray = hotwords.toArray();
    snapshot.hotwords.reserve(hotwordArray.size());
    for (const QJsonValue& value : hotwordArray) {
        if (!value.isString())
            return std::nullopt;
        snapshot.hotwords.append(value.toString());
    }
    return snapshot;
}

} // namespace

QByteArray LexiconSnapshot::encode() const
{
    QList<QByteArray> encodedRules;
    encodedRules.reserve(rules.size());
    for (const LearnedRule& rule : rules)
        encodedRules.append(rule.encode());
    return assemble(encodedRules, hotwords);
}

QByteArray LexiconSnapshot::assemble(const QList<QByteArray>& encodedRules, const QStringList& hotwords)
{
    // Every value comes from the JSON encoder; only the two keys and the separators are put
    // together here, in the key order the encoder itself uses.
    const QByteArray hotwordText = QJsonDocument(QJsonArray::fromStringList(hotwords)).toJson(QJsonDocument::Compact);
    qsizetype size = hotwordText.size() + 32;
    for (const QByteArray& rule : encodedRules)
        size += rule.size() + 1;
    QByteArray out;
    out.reserve(size);
    out.append("{\"hotwords\":").append(hotwordText).append(",\"rules\":[");
    for (qsizetype i = 0; i < encodedRules.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(encodedRules[i]);
    }
    out.append("]}");
    return out;
}

std::optional<LexiconSnapshot> LexiconSnapshot::decode(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = ValidUtf16::fromJson(bytes, &error);
    return fromDocument(document, error);
}

std::optional<LexiconSnapshot> LexiconSnapshot::decodeServiceText(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = serviceJson(bytes, &error);
    return fromDocument(document, error);
}
