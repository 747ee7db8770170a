#pragma once

#include "core/recognition/GatewayClient.h"

class CancelToken;

// Rewrites the user's selected text by a spoken instruction through the gateway's "v1/ask" call.
class RewriteAssistant
{
public:
    explicit RewriteAssistant(GatewayClient client);

    // The rewritten text as the gateway gives it; errors of the call propagate.
    QCoro::Task<QString> rewrite(QString selection, QString instruction, CancelToken* cancel = nullptr) const;

    static const QString& systemPrompt();
    // "【指令】<instruction>\n\n【原文】<selection>"
    static QString requestText(const QString& selection, const QString& instruction);

private:
    GatewayClient m_client;
};
