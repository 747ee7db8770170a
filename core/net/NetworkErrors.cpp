#include "core/net/NetworkErrors.h"

#include <QJsonParseError>

TransportError::TransportError(Kind kind, QString description)
    : MurmoError(std::move(description))
    , m_kind(kind)
{}

JsonError::JsonError(QString description)
    : MurmoError(std::move(description))
{}

JsonError JsonError::fromParse(const QJsonParseError& error)
{
    return JsonError(QStringLiteral("服务返回的数据无法解析 (%1，位置 %2)").arg(error.errorString()).arg(error.offset));
}

JsonError JsonError::missingMember(const QString& path)
{
    return JsonError(QStringLiteral("服务返回的数据缺少字段 %1").arg(path));
}
