#include "core/store/LearnedRule.h"

#include "core/store/JsonText.h"
#include "core/store/TextClass.h"

#include <QJsonValue>
#include <QVariant>

#include <cmath>

namespace {

const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

const QString kId = QStringLiteral("id");
const QString kWrong = QStringLiteral("wrong");
const QString kRight = QStringLiteral("right");
const QString kHitCount = QStringLiteral("hitCount");
const QString kSource = QStringLiteral("source");
const QString kCreatedAt = QStringLiteral("createdAt");

std::optional<QUuid> uuidFromText(const QString& text)
{
    // Only the bare 8-4-4-4-12 form; QUuid alone would also take braces.
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.toString(QUuid::WithoutBraces).compare(text, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return id;
}

std::optional<qint64> integerFrom(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    if (value.toVariant().typeId() == QMetaType::LongLong)
        return value.toInteger();
    const double number = value.toDouble();
    // A count with a fraction, or beyond 64 bits, is not a count.
    if (std::trunc(number) != number || number < -9.2e18 || number > 9.2e18)
        return std::nullopt;
    return qint64(number);
}

} // namespace

LearnedRule LearnedRule::make(const QString& wrong, const QString& right, const QString& source, const QDateTime& now)
{
    LearnedRule rule;
    rule.id = QUuid::createUuid();
    rule.wrong = wrong;
    rule.right = right;
    rule.source = source;
    rule.createdAt = secondsSinceReferenceDate(now);
    return rule;
}

QDateTime LearnedRule::createdAtTime() const
{
    return kReferenceDate.addMSecs(qint64(std::llround(createdAt * 1000.0)));
}

double LearnedRule::secondsSinceReferenceDate(const QDateTime& time)
{
    return double(kReferenceDate.msecsTo(time)) / 1000.0;
}

QJsonObject LearnedRule::toJson() const
{
    return QJsonObject{
        {kId, id.toString(QUuid::WithoutBraces).toUpper()},
        {kWrong, wrong},
        {kRight, right},
        {kHitCount, hitCount},
        {kSource, source},
        {kCreatedAt, createdAt},
    };
}

void LearnedRule::appendJson(QByteArray& out) const
{
    // The keys in the order the JSON encoder sorts them.
    out.append("{\"createdAt\":");
    JsonText::appendNumber(out, createdAt);
    out.append(",\"hitCount\":").append(QByteArray::number(hitCount));
    out.append(",\"id\":\"").append(id.toByteArray(QUuid::WithoutBraces).toUpper());
    out.append("\",\"right\":");
    JsonText::appendString(out, right);
    out.append(",\"source\":");
    JsonText::appendString(out, source);
    out.append(",\"wrong\":");
    JsonText::appendString(out, wrong);
    out.append('}');
}

std::optional<LearnedRule> LearnedRule::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(kId);
    const QJsonValue wrong = object.value(kWrong);
    const QJsonValue right = object.value(kRight);
    const QJsonValue source = object.value(kSource);
    const QJsonValue createdAt = object.value(kCreatedAt);
    if (!id.isString() || !wrong.isString() || !right.isString() || !source.isString() || !createdAt.isDouble())
        return std::nullopt;
    const std::optional<QUuid> uuid = uuidFromText(id.toString());
    const std::optional<qint64> hitCount = integerFrom(object.value(kHitCount));
    if (!uuid || !hitCount)
        return std::nullopt;

    LearnedRule rule;
    rule.id = *uuid;
    rule.wrong = wrong.toString();
    rule.right = right.toString();
    rule.hitCount = *hitCount;
    rule.source = source.toString();
    rule.createdAt = createdAt.toDouble();
    return rule;
}

bool operator==(const LearnedRule& a, const LearnedRule& b)
{
    return a.id == b.id && TextClass::canonicallyEqual(a.wrong, b.wrong) &&
           TextClass::canonicallyEqual(a.right, b.right) && a.hitCount == b.hitCount &&
           TextClass::canonicallyEqual(a.source, b.source) && a.createdAt == b.createdAt;
}
