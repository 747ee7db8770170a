#pragma once

#include "core/recognition/GatewayClient.h"

#include <QDateTime>
#include <QTimeZone>

#include <functional>
#include <optional>

class CancelToken;

// Answers a spoken question through the gateway's "v1/ask" call, with what is on screen as
// background and the current date and time so the model does not guess them.
class AskAssistant
{
public:
    using Now = std::function<QDateTime()>;

    // now defaults to the system clock, zone to the system's time zone.
    explicit AskAssistant(GatewayClient client, Now now = {}, QTimeZone zone = QTimeZone::systemTimeZone());

    // The model's answer as the gateway gives it; errors of the call propagate.
    QCoro::Task<QString> answer(QString question, std::optional<QString> context, CancelToken* cancel = nullptr) const;

    // "【当前环境】现在是 2025 年 3 月 3 日 星期一 19:05（时区 Asia/Shanghai）。…" for now in zone.
    static QString environmentLine(const QDateTime& now, const QTimeZone& zone = QTimeZone::systemTimeZone());

    // The system prompt and the user text of one question.
    static QString systemPrompt(const QDateTime& now, const QTimeZone& zone);
    static QString questionText(const QString& question, const std::optional<QString>& context);

private:
    GatewayClient m_client;
    Now m_now;
    QTimeZone m_zone;
};
