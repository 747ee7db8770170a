#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

// One correction rule of the lexicon: recognition keeps producing wrong, the user wants right.
struct LearnedRule
{
    QUuid id;
    // Stored exactly as given, never trimmed: a trailing blank is part of what is looked for.
    QString wrong;
    QString right;
    // Calls of Lexicon::apply in which this rule changed the text.
    qint64 hitCount = 0;
    // Where the rule came from ("seed", "user_added", "manual_edit", ...); nothing branches on it.
    QString source;
    // Seconds since 2001-01-01T00:00:00Z, kept as the number read so that a rule taken over from
    // another machine is written back bit for bit.
    double createdAt = 0;

    // A new rule: a random id, no hits, created now.
    static LearnedRule make(const QString& wrong, const QString& right, const QString& source,
                            const QDateTime& now = QDateTime::currentDateTimeUtc());

    QDateTime createdAtTime() const;
    static double secondsSinceReferenceDate(const QDateTime& time);

    QJsonObject toJson() const;
    // toJson() as compact JSON text, written straight after out's end.
    void appendJson(QByteArray& out) const;
    // Every one of the six keys is required, with its own type; anything else is not a rule.
    static std::optional<LearnedRule> fromJson(const QJsonValue& value);

    // Texts compare as canonically equivalent Unicode, like the rest of the lexicon.
    friend bool operator==(const LearnedRule& a, const LearnedRule& b);
};
