#include "core/net/Json.h"

#include "core/net/NetworkErrors.h"
#include "core/text/ValidUtf16.h"

#include <QJsonParseError>

QJsonDocument parseJsonDocument(const QByteArray& bytes)
{
    QJsonParseError error;
    QJsonDocument document = ValidUtf16::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonError::fromParse(error);
    return document;
}

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
