#include "core/store/LexiconSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kRules = QStringLiteral("rules");
const QString kHotwords = QStringLiteral("hotwords");

} // namespace

QByteArray LexiconSnapshot::encode() const
{
    QJsonArray ruleArray;
    for (const LearnedRule& rule : rules)
        ruleArray.append(rule.toJson());
    const QJsonObject object{{kRules, ruleArray}, {kHotwords, QJsonArray::fromStringList(hotwords)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<LexiconSnapshot> LexiconSnapshot::decode(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
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
