#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

// The JSON a service sent: parsed, with its strings made valid UTF-16 (ValidUtf16), or JsonError
// with the parser's complaint.
QJsonDocument parseJsonDocument(const QByteArray& bytes);

// A request body: compact, in the serialiser's own key order.
QByteArray compactJson(const QJsonObject& object);
