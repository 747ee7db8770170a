#pragma once

#include "core/store/LearnedRule.h"
#include "tests/support/TestFiles.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// Lexicon documents written out by hand, so tests never rely on the encoder they check.
namespace LexiconFixtures {

struct RuleSpec
{
    QString wrong;
    QString right;
    qint64 hitCount = 0;
    QString source = QStringLiteral("seed");
    QString id = QStringLiteral("00000000-0000-4000-8000-000000000000");
    double createdAt = 786000000.5;
};

inline QJsonObject ruleJson(const RuleSpec& spec)
{
    return QJsonObject{{"id", spec.id},         {"wrong", spec.wrong},
                       {"right", spec.right},   {"hitCount", spec.hitCount},
                       {"source", spec.source}, {"createdAt", spec.createdAt}};
}

inline QByteArray document(const QList<RuleSpec>& rules, const QStringList& hotwords = {})
{
    QJsonArray array;
    for (const RuleSpec& rule : rules)
        array.append(ruleJson(rule));
    return QJsonDocument(QJsonObject{{"rules", array}, {"hotwords", QJsonArray::fromStringList(hotwords)}})
        .toJson(QJsonDocument::Compact);
}

inline QString idNumber(int n)
{
    return QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

// A lexicon whose snapshot holds about the given number of bytes, in long rules; lexicons of
// other prefixes share no rule.
inline QByteArray lexiconOfSize(qint64 bytes, const QString& prefix = {})
{
    QList<RuleSpec> rules;
    const QString filler(2000, QLatin1Char('x'));
    for (int i = 0; qint64(rules.size()) * 4100 < bytes; ++i)
        rules.append({prefix + QString::number(i) + filler, filler + QString::number(i), 1, "user_added", idNumber(i)});
    return document(rules);
}

} // namespace LexiconFixtures
