#include "core/net/Json.h"

#include "core/net/NetworkErrors.h"
#include "core/text/ValidUtf16.h"

#include <QJsonArray>

#include <algorithm>

namespace {

// The C0 controls other than tab and newline, DEL, the C1 controls (a CSI among them: U+009B
// starts a terminal sequence as ESC [ does) and the bidirectional embeddings, overrides and
// isolates, which turn the text around them and outlive the paste. The marks a script needs (the
// joiners, the variation selectors, the left-to-right and right-to-left marks) stay.
bool isDroppedControl(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20)
        return u != u'\t' && u != u'\n';
    return (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
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

// Whether the strings of a JSON document may hold a dropped character: through an escape, or as
// its UTF-8 bytes, which Qt's parser takes inside a string too (a C1 control is C2 80 to C2 9F,
// the bidirectional controls E2 80 AA to AE and E2 81 A6 to A9). Qt also reads a backslash before
// any other byte as that byte's Latin-1 character, so a backslash before 80 to 9F is a C1 control.
bool mayHoldControls(const QByteArray& bytes)
{
    const auto byte = [&bytes](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char c = byte(i);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F)
            return true;
        if (c == '\\' && i + 1 < bytes.size() && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F)
            return true;
        if (c == 0xC2 && i + 1 < bytes.size() && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F)
            return true;
        if (c == 0xE2 && i + 2 < bytes.size() &&
            ((byte(i + 1) == 0x80 && byte(i + 2) >= 0xAA && byte(i + 2) <= 0xAE) ||
             (byte(i + 1) == 0x81 && byte(i + 2) >= 0xA6 && byte(i + 2) <= 0xA9)))
            return true;
    }
    return bytes.contains("\\u00") || bytes.contains("\\u202") || bytes.contains("\\u206") || bytes.contains("\\b") ||
           bytes.contains("\\f") || bytes.contains("\\r");
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
