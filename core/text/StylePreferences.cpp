#include "core/text/StylePreferences.h"

#include "core/net/NetworkErrors.h"

#include <QStringList>

namespace {

constexpr QStringView kHeading = u"\n\n说话人的个人书写偏好（必须遵守）：\n";
constexpr QStringView kNoTrailingPeriodLine = u"输出的最后一句不要以句号结尾";
constexpr QStringView kPreferLineBreaksLine = u"内容较长时适当用换行分段，提升可读性，不要挤成一大段";
constexpr QStringView kSpacesForCommasLine = u"语气停顿处可以用空格代替逗号，保持轻松的书写习惯";

void appendSection(QString& fragment, const QString& section)
{
    const QString trimmed = section.trimmed();
    if (!trimmed.isEmpty())
        fragment += QStringLiteral("\n\n") + trimmed;
}

QJsonValue required(const QJsonObject& object, const QString& key, QJsonValue::Type type)
{
    const QJsonValue value = object.value(key);
    if (value.type() != type)
        throw JsonError::missingMember(key);
    return value;
}

} // namespace

QString StylePreferences::promptFragment() const
{
    QStringList lines;
    if (noTrailingPeriod)
        lines << kNoTrailingPeriodLine.toString();
    if (preferLineBreaks)
        lines << kPreferLineBreaksLine.toString();
    if (spacesForCommas)
        lines << kSpacesForCommasLine.toString();
    for (const QString& note : customNotes.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString trimmed = note.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }

    QString fragment;
    if (!lines.isEmpty())
        fragment = kHeading.toString() + QStringLiteral("- ") + lines.join(QStringLiteral("\n- "));
    appendSection(fragment, contextSection);
    appendSection(fragment, profileSection);
    return fragment;
}

QString StylePreferences::applyDeterministic(const QString& text) const
{
    if (!noTrailingPeriod)
        return text;
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == QChar(u'。') || text[end - 1] == QLatin1Char('.')))
        --end;
    return text.left(end);
}

QJsonObject StylePreferences::toJson() const
{
    QJsonObject object{
        {QStringLiteral("noTrailingPeriod"), noTrailingPeriod}, {QStringLiteral("preferLineBreaks"), preferLineBreaks},
        {QStringLiteral("spacesForCommas"), spacesForCommas},   {QStringLiteral("customNotes"), customNotes},
        {QStringLiteral("contextSection"), contextSection},     {QStringLiteral("profileSection"), profileSection},
    };
    if (appContext)
        object.insert(QStringLiteral("appContext"), *appContext);
    return object;
}

StylePreferences StylePreferences::fromJson(const QJsonObject& object)
{
    StylePreferences preferences;
    preferences.noTrailingPeriod = required(object, QStringLiteral("noTrailingPeriod"), QJsonValue::Bool).toBool();
    preferences.preferLineBreaks = required(object, QStringLiteral("preferLineBreaks"), QJsonValue::Bool).toBool();
    preferences.spacesForCommas = required(object, QStringLiteral("spacesForCommas"), QJsonValue::Bool).toBool();
    preferences.customNotes = required(object, QStringLiteral("customNotes"), QJsonValue::String).toString();
    preferences.contextSection = required(object, QStringLiteral("contextSection"), QJsonValue::String).toString();
    preferences.profileSection = required(object, QStringLiteral("profileSection"), QJsonValue::String).toString();
    const QJsonValue appContext = object.value(QStringLiteral("appContext"));
    if (appContext.isString())
        preferences.appContext = appContext.toString();
    else if (!appContext.isUndefined() && !appContext.isNull())
        throw JsonError::missingMember(QStringLiteral("appContext"));
    return preferences;
}
