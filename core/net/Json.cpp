#include "core/net/Json.h"

#include "core/net/NetworkErrors.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>

#include <algorithm>

namespace {

bool isDroppedControl(QChar c)
{
    return c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n');
}

QJsonValue withoutControls(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return withoutControls(value.toString());
    case QJsonValue::Array: {
        QJsonArray out;
        for (const QJsonValue& item : value.toArray())
            out.append(withoutControls(item));
        return out;
    }
    case QJsonValue::Object: {
        QJsonObject out;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            out.insert(withoutControls(it.key()), withoutControls(it.value()));
        return out;
    }
    default:
        return value;
    }
}

// Whether the strings of a JSON document may hold a control character: through an escape, or
// as the byte itself, which Qt's parser takes inside a string too.
bool mayHoldControls(const QByteArray& bytes)
{
    const bool raw = std::any_of(bytes.cbegin(), bytes.cend(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n'; });
    return raw || bytes.contains("\\u00") || bytes.contains("\\b") || bytes.contains("\\f") || bytes.contains("\\r");
}

} // namespace

QString withoutControls(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), isDroppedControl))
        return text;
    QString out = text;
    out.removeIf(isDroppedControl);
    return out;
}

QJsonDocument serviceJson(const QByteArray& bytes, QJsonParseError* error)
{
    QJsonDocument document = ValidUtf16::fromJson(bytes, error);
    if (!mayHoldControls(bytes))
        return document;
    if (document.isObject())
        return QJsonDocument(withoutControls(QJsonValue(document.object())).toObject());
    if (document.isArray())
        return QJsonDocument(withoutControls(QJsonValue(document.array())).toArray());
    return document;
}

QJsonDocument parseJsonDocument(const QByteArray& bytes)
{
    QJsonParseError error;
    QJsonDocument document = serviceJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonError::fromParse(error);
    return document;
}

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
