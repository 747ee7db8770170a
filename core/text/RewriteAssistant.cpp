#include "core/text/RewriteAssistant.h"

RewriteAssistant::RewriteAssistant(GatewayClient client)
    : m_client(std::move(client))
{}

const QString& RewriteAssistant::systemPrompt()
{
    static const QString text = QStringLiteral(
        "你是文本改写引擎。按照用户口述的指令改写【原文】，保持原文语言除非指令要求翻译；只输出改写后的文本本身，"
        "不要任何解释、前言或引号包裹。绝不添加原文和指令之外的内容。");
    return text;
}

QString RewriteAssistant::requestText(const QString& selection, const QString& instruction)
{
    return QStringLiteral("【指令】") + instruction + QStringLiteral("\n\n【原文】") + selection;
}

QCoro::Task<QString> RewriteAssistant::rewrite(QString selection, QString instruction, CancelToken* cancel) const
{
    const QString text = requestText(selection, instruction);
    const GatewayClient client = m_client;
    co_return co_await client.ask(systemPrompt(), text, cancel);
}
