#include "core/text/ValidUtf16.h"

#include <QJsonArray>
#include <QJsonObject>

namespace ValidUtf16 {

namespace {

// The index of the first surrogate of text that has no partner, or -1.
qsizetype firstLoneSurrogate(const QString& text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        return i;
    }
    return -1;
}

QJsonValue repairedValue(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return repaired(value.toString());
    case QJsonValue::Array: {
        QJsonArray out;
        for (const QJsonValue& item : value.toArray())
            out.append(repairedValue(item));
        return out;
    }
    case QJsonValue::Object: {
        QJsonObject out;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            out.insert(repaired(it.key()), repairedValue(it.value()));
        return out;
    }
    default:
        return value;
    }
}

} // namespace

QString repaired(const QString& text)
{
    qsizetype i = firstLoneSurrogate(text);
    if (i < 0)
        return text;
    QString out = text;
    const qsizetype n = out.size();
    for (; i < n; ++i) {
        const QChar c = out.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate())
            ++i;
        else
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

QJsonDocument repaired(const QJsonDocument& document)
{
    if (document.isObject())
        return QJsonDocument(repairedValue(document.object()).toObject());
    if (document.isArray())
        return QJsonDocument(repairedValue(document.array()).toArray());
    return document;
}

QJsonDocument fromJson(const QByteArray& bytes, QJsonParseError* error)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes, error);
    // The parser rejects malformed UTF-8, so a lone surrogate can only come from a \u escape.
    return bytes.contains("\\u") ? repaired(document) : document;
}

} // namespace ValidUtf16
