#include "core/net/UploadBody.h"

#include <algorithm>
#include <cstring>

UploadBody::UploadBody(QByteArray bytes, std::function<void()> beforeSending, QObject* parent)
    : QIODevice(parent)
    , m_bytes(std::move(bytes))
    , m_beforeSending(std::move(beforeSending))
{
    // Unbuffered, so that a read at the start is Qt's own and not a read-ahead.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 UploadBody::readData(char* data, qint64 maxSize)
{
    if (pos() == 0 && m_beforeSending)
        m_beforeSending();
    const qint64 count = std::clamp<qint64>(m_bytes.size() - pos(), 0, maxSize);
    std::memcpy(data, m_bytes.constData() + pos(), size_t(count));
    return count;
}
