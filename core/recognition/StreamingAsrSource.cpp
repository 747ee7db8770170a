#include "core/recognition/StreamingAsrSource.h"

#include "core/recognition/StreamingAsr.h"

StreamingAsrSource::StreamingAsrSource(std::shared_ptr<StreamingAsr> session)
    : m_session(std::move(session))
{}

QCoro::Task<QString> StreamingAsrSource::finish(std::chrono::milliseconds timeout)
{
    return m_session->finish(timeout);
}

void StreamingAsrSource::cancel(int closeCode)
{
    m_session->cancel(static_cast<QWebSocketProtocol::CloseCode>(closeCode));
}
