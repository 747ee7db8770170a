#include "core/ogg/OGGConverterError.h"

namespace {

QString describe(OGGConverterError::Kind kind)
{
    switch (kind) {
    case OGGConverterError::Kind::FailedToCreateChannelLayout:
        return QStringLiteral("音频转换失败: 不支持的声道布局");
    case OGGConverterError::Kind::FailedToCreatePCMBuffer:
        return QStringLiteral("音频转换失败: 文件中没有音频");
    case OGGConverterError::Kind::Other:
        break;
    }
    return QStringLiteral("音频转换失败");
}

} // namespace

OGGConverterError::OGGConverterError(Kind kind)
    : OGGConverterError(kind, describe(kind), {})
{}

OGGConverterError::OGGConverterError(Kind kind, QString description, std::exception_ptr cause)
    : MurmoError(std::move(description))
    , m_kind(kind)
    , m_cause(std::move(cause))
{}

OGGConverterError OGGConverterError::other(QString description, std::exception_ptr cause)
{
    return OGGConverterError(Kind::Other, std::move(description), std::move(cause));
}
