#include "core/ogg/OggError.h"

OggError::OggError(Kind kind)
    : MurmoError(kind == Kind::OutOfSync ? QStringLiteral("音频文件格式错误 (Ogg 数据不同步)")
                                         : QStringLiteral("音频文件格式错误 (Ogg 内部错误)"))
    , m_kind(kind)
{}
