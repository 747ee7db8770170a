#include "core/store/LearnedRule.h"

#include "core/store/JsonText.h"
#include "core/store/TextClass.h"

#include <QJsonValue>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <iterator>

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

// id as QUuid writes it without braces, in upper case: 8-4-4-4-12 hex digits.
void appendUpperCaseId(QByteArray& out, const QUuid& id)
{
    const auto hex = [&out](quint64 value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            out.append("0123456789ABCDEF"[(value >> shift) & 0xf]);
    };
    hex(id.data1, 8);
    out.append('-');
    hex(id.data2, 4);
    out.append('-');
    hex(id.data3, 4);
    out.append('-');
    hex(quint64(id.data4[0]) << 8 | id.data4[1], 4);
    out.append('-');
    for (int i = 2; i < 8; ++i)
        hex(id.data4[i], 2);
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
    char digits[24];
    const auto counted = std::to_chars(std::begin(digits), std::end(digits), hitCount);
    out.append(",\"hitCount\":").append(digits, counted.ptr - digits);
    out.append(",\"id\":\"");
    appendUpperCaseId(out, id);
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
