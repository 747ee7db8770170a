#include "core/recognition/LexiconTooLargeError.h"

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

} // namespace

LexiconTooLargeError::LexiconTooLargeError(qint64 size, qint64 limit)
    : MurmoError(QStringLiteral("词库有 %1 MB，超过账户可同步的 %2 MB，已停止同步")
                     .arg(megabytes(size), megabytes(limit)))
    , m_size(size)
    , m_limit(limit)
{}
