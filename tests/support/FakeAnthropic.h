#pragma once

#include "tests/support/FakeHttpService.h"

#include <QJsonArray>

// Anthropic's Messages API ("/v1/messages"). By default it checks what the real service checks
// first (an "x-api-key", the "anthropic-version" header, a JSON body with a model, a token budget
// and messages) and answers a well-formed request with a message holding one text block, kAnswer.
class FakeAnthropic : public FakeHttpService
{
    Q_OBJECT

public:
    static inline const QString kPath = QStringLiteral("/v1/messages");
    static inline const QString kAnswer = QStringLiteral("整理好的文本。");

    explicit FakeAnthropic(QObject* parent = nullptr);

    // A 200 message whose content is one text block.
    static FakeReply answer(const QString& text);
    // A 200 message with these content blocks, as given.
    static FakeReply answer(const QJsonArray& content);
    // The service's error envelope: {"type":"error","error":{"type":..,"message":..}}.
    static FakeReply error(int status, const QString& type, const QString& message);
};
