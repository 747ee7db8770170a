#include "core/recognition/LexiconTooLargeError.h"

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

} // namespace

LexiconTooLargeError::LexiconTooLargeError(qint64 size, qint64 limit)
    : MurmoError(QStringLiteral("词库超过了账户可同步的 %1 MB，已停止同步").arg(megabytes(limit)))
    , m_size(size)
    , m_limit(limit)
{}
