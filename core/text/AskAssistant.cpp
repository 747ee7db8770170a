#include "core/text/AskAssistant.h"

#include <QLocale>

AskAssistant::AskAssistant(GatewayClient client, Now now, QTimeZone zone)
    : m_client(std::move(client))
    , m_now(now ? std::move(now) : Now(&QDateTime::currentDateTime))
    , m_zone(std::move(zone))
{}

QString AskAssistant::environmentLine(const QDateTime& now, const QTimeZone& zone)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    // dddd is the weekday written out ("星期一"); month and day without leading zeros.
    const QString date = chinese.toString(now.toTimeZone(zone), QStringLiteral("yyyy 年 M 月 d 日 dddd HH:mm"));
    return QStringLiteral("【当前环境】现在是 ") + date + QStringLiteral("（时区 ") + QString::fromUtf8(zone.id()) +
           QStringLiteral("）。涉及日期、星期、时间时一律以此为准，不要自行推测。");
}

QString AskAssistant::systemPrompt(const QDateTime& now, const QTimeZone& zone)
{
    static const QString head =
        QStringLiteral("你是用户的语音助手。用户用语音向你提问或下达指令，你要**直接、简洁地回答或照做**。\n"
                       "- 用中文回答（除非用户明确要求其他语言）。\n"
                       "- 口语化的提问就口语化地答；要点多就用简短分点。能一两句说清的别长篇大论。\n"
                       "- 若提供了【屏幕上下文】，把它当作用户当前在看/在写的背景，用来理解\"这个\"\"它\"指代什么；"
                       "上下文只是参考，不要逐字复述。\n"
                       "- 不要寒暄、不要复述问题、不要说\"好的，我来帮你\"，直接给答案正文。\n"
                       "\n");
    return head + environmentLine(now, zone);
}

QString AskAssistant::questionText(const QString& question, const std::optional<QString>& context)
{
    if (!context || context->trimmed().isEmpty())
        return question;
    return QStringLiteral("【屏幕上下文，仅供参考】\n") + *context + QStringLiteral("\n\n【我的问题】\n") + question;
}

QCoro::Task<QString> AskAssistant::answer(QString question, std::optional<QString> context, CancelToken* cancel) const
{
    const QString system = systemPrompt(m_now(), m_zone);
    const QString text = questionText(question, context);
    const GatewayClient client = m_client;
    co_return co_await client.ask(system, text, cancel);
}
