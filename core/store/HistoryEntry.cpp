#include "core/store/HistoryEntry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Dates are stored as seconds since 2001-01-01T00:00:00Z, the reference date of the platform the
// format was first written on.
constexpr qint64 kReferenceDateMsecs = 978307200000;
// About 3,000 years either way. Nothing outside is a date a take was made on, and within it the
// milliseconds stay exact through a double, so a date reads back as it was written.
constexpr double kLargestSeconds = 1e11;

double toReferenceSeconds(const QDateTime& time)
{
    return double(time.toMSecsSinceEpoch() - kReferenceDateMsecs) / 1000.0;
}

std::optional<QDateTime> fromReferenceSeconds(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double seconds = value.toDouble();
    if (!std::isfinite(seconds) || std::abs(seconds) > kLargestSeconds)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0) + kReferenceDateMsecs, Qt::UTC);
}

bool readString(const QJsonObject& object, QLatin1String key, QString& out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// Absent and null both mean "not set", as the format's first writer treated them.
bool readOptionalString(const QJsonObject& object, QLatin1String key, std::optional<QString>& out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// Absent and null mean "not set"; anything else must be a finite, non-negative number.
bool readOptionalSeconds(const QJsonObject& object, QLatin1String key, std::optional<double>& out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isDouble() || !std::isfinite(value.toDouble()) || value.toDouble() < 0)
        return false;
    out = value.toDouble();
    return true;
}

// The entries of a history file's array from index first on; those before it are checked as
// strictly and left out. std::nullopt when any is unreadable.
std::optional<QList<HistoryEntry>> decodedHistoryFrom(const QJsonArray& array, qsizetype first)
{
    QList<HistoryEntry> entries;
    entries.reserve(array.size() - first);
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue value = array.at(i);
        if (!value.isObject())
            return std::nullopt;
        std::optional<HistoryEntry> entry = HistoryEntry::fromJson(value.toObject());
        if (!entry)
            return std::nullopt;
        if (i >= first)
            entries.append(std::move(*entry));
    }
    return entries;
}

} // namespace

HistoryEntry HistoryEntry::make(QString asrText, QString finalText, QString modeId, QString providerId,
                                std::optional<QString> action, QDateTime timestamp)
{
    HistoryEntry entry;
    entry.id = QUuid::createUuid();
    entry.timestamp = std::move(timestamp);
    entry.asrText = std::move(asrText);
    entry.finalText = std::move(finalText);
    entry.modeId = std::move(modeId);
    entry.providerId = std::move(providerId);
    entry.action = std::move(action);
    return entry;
}

QString HistoryEntry::cutText(double seconds)
{
    // Tenths, with a full stop whatever the locale.
    return QStringLiteral("录音在 %1 秒处中断").arg(QString::number(seconds, 'f', 1));
}

QString HistoryEntry::idText() const
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject HistoryEntry::toJson() const
{
    QJsonObject object{
        {QLatin1String("id"), idText()},     {QLatin1String("timestamp"), toReferenceSeconds(timestamp)},
        {QLatin1String("asrText"), asrText}, {QLatin1String("finalText"), finalText},
        {QLatin1String("modeId"), modeId},   {QLatin1String("providerId"), providerId},
    };
    if (action)
        object.insert(QLatin1String("action"), *action);
    if (audioFileName)
        object.insert(QLatin1String("audioFileName"), *audioFileName);
    if (cutAt)
        object.insert(QLatin1String("cutAt"), *cutAt);
    return object;
}

std::optional<HistoryEntry> HistoryEntry::fromJson(const QJsonObject& object)
{
    HistoryEntry entry;
    QString idText;
    if (!readString(object, QLatin1String("id"), idText))
        return std::nullopt;
    entry.id = QUuid::fromString(idText);
    if (entry.id.isNull())
        return std::nullopt;
    const std::optional<QDateTime> timestamp = fromReferenceSeconds(object.value(QLatin1String("timestamp")));
    if (!timestamp)
        return std::nullopt;
    entry.timestamp = *timestamp;
    if (!readString(object, QLatin1String("asrText"), entry.asrText) ||
        !readString(object, QLatin1String("finalText"), entry.finalText) ||
        !readString(object, QLatin1String("modeId"), entry.modeId) ||
        !readString(object, QLatin1String("providerId"), entry.providerId) ||
        !readOptionalString(object, QLatin1String("action"), entry.action) ||
        !readOptionalString(object, QLatin1String("audioFileName"), entry.audioFileName) ||
        !readOptionalSeconds(object, QLatin1String("cutAt"), entry.cutAt))
        return std::nullopt;
    return entry;
}

QByteArray HistoryEntry::encodeList(const QList<HistoryEntry>& entries)
{
    QJsonArray array;
    for (const HistoryEntry& entry : entries)
        array.append(entry.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<HistoryEntry>> HistoryEntry::decodeList(QByteArrayView bytes)
{
    std::optional<Newest> all = decodeNewest(bytes.toByteArray(), std::numeric_limits<qsizetype>::max());
    if (!all)
        return std::nullopt;
    return std::move(all->entries);
}

std::optional<HistoryEntry::Newest> HistoryEntry::decodeNewest(const QByteArray& bytes, qsizetype keep)
{
    QJsonArray array;
    {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError || !document.isArray())
            return std::nullopt;
        array = document.array();
    }
    const qsizetype olderCount = std::max<qsizetype>(0, array.size() - keep);
    // Beyond the cap every entry is only checked here; the newest are decoded below.
    std::optional<QList<HistoryEntry>> entries = decodedHistoryFrom(array, olderCount > 0 ? array.size() : 0);
    if (!entries)
        return std::nullopt;
    if (olderCount == 0)
        return Newest{std::move(*entries), 0};
    // The newest are decoded again, from a document of their own, once the whole file's is gone:
    // decoded among its values, their texts would lie scattered through the memory it took and
    // keep the allocator from giving any of it back.
    QJsonArray newest;
    for (qsizetype i = olderCount; i < array.size(); ++i)
        newest.append(array.at(i));
    array = QJsonArray();
    const QByteArray newestBytes = QJsonDocument(std::exchange(newest, QJsonArray())).toJson(QJsonDocument::Compact);
    std::optional<QList<HistoryEntry>> kept = decodeList(newestBytes);
    if (!kept)
        return std::nullopt;
    return Newest{std::move(*kept), olderCount};
}
