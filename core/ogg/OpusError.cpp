#include "core/ogg/OpusError.h"

namespace {

QString describe(OpusError::Code code)
{
    return QStringLiteral("音频编解码失败 (Opus 错误 %1)").arg(int(code));
}

} // namespace

OpusError::OpusError(Code code)
    : MurmoError(describe(code))
    , m_code(code)
{}

OpusError::OpusError(Code code, const QString& description)
    : MurmoError(description)
    , m_code(code)
{}

OpusError OpusError::fromResult(int result)
{
    if (result <= int(Code::Okay) && result >= int(Code::AllocationFailure))
        return OpusError(Code(result));
    return OpusError(Code::InternalError);
}
