#include "core/store/StyleProfile.h"

#include "core/net/Json.h"
#include "core/net/NetworkErrors.h"
#include "core/store/StoreFile.h"
#include "core/text/Styler.h"

#include <QDir>
#include <QJsonArray>
#include <QPointer>

#include <cmath>

namespace {

const QString kFileName = QStringLiteral("style-profile.json");

// Dates in the file are seconds since 2001-01-01 00:00:00 UTC. Values beyond a few thousand years
// are not dates any program wrote; they are refused rather than overflowing the conversion.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}
constexpr double kLargestSeconds = 1e11;
// The largest count a JSON number holds exactly; counting on from it cannot overflow.
constexpr double kLargestCount = 9007199254740992.0;

QJsonValue required(const QJsonObject& object, const QString& key, QJsonValue::Type type)
{
    const QJsonValue value = object.value(key);
    if (value.type() != type)
        throw JsonError::missingMember(key);
    return value;
}

} // namespace

StyleProfile::StyleProfile(const QString& directory, Now now, QObject* parent)
    : QObject(parent)
    , m_filePath(QDir(directory).filePath(kFileName))
    , m_now(now ? std::move(now) : Now(&QDateTime::currentDateTimeUtc))
{
    const std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_filePath);
    if (!bytes)
        return;
    try {
        m_snapshot = decode(*bytes);
    } catch (const JsonError& error) {
        qWarning("style profile: %s; keeping the file aside", error.what());
        StoreFile::quarantine(m_filePath);
    }
}

QString StyleProfile::profileText() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot.profileText;
}

std::optional<QDateTime> StyleProfile::updatedAt() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot.updatedAt;
}

qsizetype StyleProfile::sampleCount() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot.samples.size();
}

StyleProfile::Snapshot StyleProfile::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

QString StyleProfile::promptFragment() const
{
    const QString text = profileText();
    if (text.isEmpty())
        return {};
    return QStringLiteral("\n\n说话人的写作风格画像（从其历史校对中学习，输出应贴合）：\n") + text;
}

bool StyleProfile::record(const QString& original, const QString& final)
{
    if (original == final || final.isEmpty())
        return false;
    std::lock_guard lock(m_mutex);
    m_snapshot.samples.append(Sample{original, final});
    if (m_snapshot.samples.size() > kSampleCap)
        m_snapshot.samples.remove(0, m_snapshot.samples.size() - kSampleCap);
    m_snapshot.correctionsSinceUpdate += 1;
    save();
    return m_snapshot.correctionsSinceUpdate >= kRefreshThreshold;
}

QCoro::Task<void> StyleProfile::refresh(std::shared_ptr<const Styler> styler)
{
    QList<Sample> samples;
    {
        std::lock_guard lock(m_mutex);
        samples = m_snapshot.samples;
    }
    if (samples.size() < kMinimumSamples || !styler)
        co_return;

    const QPointer<StyleProfile> self(this);
    const StyleMode mode = distillationMode();
    const QString text = distillationText(samples.mid(std::max<qsizetype>(0, samples.size() - kRefreshWindow)));
    const StylePreferences none;
    QString answer;
    try {
        answer = co_await styler->apply(mode, text, none, false);
    } catch (const std::exception& error) {
        qWarning("style profile refresh failed: %s", error.what());
        co_return;
    } catch (...) {
        qWarning("style profile refresh failed");
        co_return;
    }
    if (!self)
        co_return;

    std::lock_guard lock(m_mutex);
    m_snapshot.profileText = answer.trimmed();
    m_snapshot.correctionsSinceUpdate = 0;
    m_snapshot.updatedAt = m_now().toUTC();
    save();
}

void StyleProfile::reset()
{
    std::lock_guard lock(m_mutex);
    m_snapshot = Snapshot{};
    save();
}

StyleMode StyleProfile::distillationMode()
{
    return StyleMode{
        QStringLiteral("profile"),
        QStringLiteral("画像提炼"),
        QStringLiteral("你是写作风格分析师。下面是同一位说话人的若干「机器转写稿 → 本人最终修改稿」对照。提炼 ta "
                       "的稳定书写习惯（标点偏好、语气、用词、换行、中英混排习惯等），写成 3-6 "
                       "条给文字润色器遵守的简短指令。只输出指令列表，不要解释，不要提及具体例句内容。"),
        {}};
}

QString StyleProfile::distillationText(const QList<Sample>& samples)
{
    QStringList items;
    for (qsizetype i = 0; i < samples.size(); ++i)
        items << QString::number(i + 1) + QStringLiteral(". 机器稿: ") + samples[i].original +
                     QStringLiteral("\n   终稿: ") + samples[i].final;
    return items.join(QLatin1Char('\n'));
}

QByteArray StyleProfile::encode(const Snapshot& snapshot)
{
    QJsonArray samples;
    for (const Sample& sample : snapshot.samples)
        samples.append(
            QJsonObject{{QStringLiteral("original"), sample.original}, {QStringLiteral("final"), sample.final}});
    QJsonObject object{
        {QStringLiteral("profileText"), snapshot.profileText},
        {QStringLiteral("samples"), samples},
        {QStringLiteral("correctionsSinceUpdate"), snapshot.correctionsSinceUpdate},
    };
    if (snapshot.updatedAt)
        object.insert(QStringLiteral("updatedAt"), referenceDate().msecsTo(*snapshot.updatedAt) / 1000.0);
    return compactJson(object);
}

StyleProfile::Snapshot StyleProfile::decode(const QByteArray& bytes)
{
    const QJsonDocument document = parseJsonDocument(bytes);
    if (!document.isObject())
        throw JsonError::missingMember(QStringLiteral("profileText"));
    const QJsonObject object = document.object();

    Snapshot snapshot;
    snapshot.profileText = required(object, QStringLiteral("profileText"), QJsonValue::String).toString();
    for (const QJsonValue& value : required(object, QStringLiteral("samples"), QJsonValue::Array).toArray()) {
        if (!value.isObject())
            throw JsonError::missingMember(QStringLiteral("samples[]"));
        const QJsonObject sample = value.toObject();
        snapshot.samples.append(Sample{required(sample, QStringLiteral("original"), QJsonValue::String).toString(),
                                       required(sample, QStringLiteral("final"), QJsonValue::String).toString()});
    }

    const double count = required(object, QStringLiteral("correctionsSinceUpdate"), QJsonValue::Double).toDouble();
    if (std::trunc(count) != count || std::fabs(count) > kLargestCount)
        throw JsonError::missingMember(QStringLiteral("correctionsSinceUpdate"));
    snapshot.correctionsSinceUpdate = static_cast<qint64>(count);

    const QJsonValue updatedAt = object.value(QStringLiteral("updatedAt"));
    if (updatedAt.isDouble() && std::fabs(updatedAt.toDouble()) <= kLargestSeconds)
        snapshot.updatedAt = referenceDate().addMSecs(std::llround(updatedAt.toDouble() * 1000.0));
    else if (!updatedAt.isUndefined() && !updatedAt.isNull())
        throw JsonError::missingMember(QStringLiteral("updatedAt"));
    return snapshot;
}

void StyleProfile::save()
{
    QString error;
    if (!StoreFile::writeAtomically(m_filePath, encode(m_snapshot), &error))
        qWarning("style profile not saved: %s", qPrintable(error));
}
