#include "core/recognition/AsrError.h"

#include "core/text/Graphemes.h"

namespace {
constexpr qsizetype kShownBodyCharacters = 200;
}

AsrError::AsrError(Kind kind, QString description, QString provider, int status, QString body)
    : MurmoError(std::move(description))
    , m_kind(kind)
    , m_provider(std::move(provider))
    , m_status(status)
    , m_body(std::move(body))
{}

AsrError AsrError::missingApiKey(const QString& provider)
{
    return AsrError(Kind::MissingApiKey, QStringLiteral("未配置 ") + provider + QStringLiteral(" 的 API key"), provider,
                    0, {});
}

AsrError AsrError::httpError(int status, const QString& body)
{
    const QString description = QStringLiteral("ASR 请求失败 (HTTP ") + QString::number(status) +
                                QStringLiteral("): ") + Graphemes::left(body, kShownBodyCharacters);
    return AsrError(Kind::HttpError, description, {}, status, body);
}

AsrError AsrError::emptyResult()
{
    return AsrError(Kind::EmptyResult, QStringLiteral("识别结果为空"), {}, 0, {});
}
