#pragma once

#include <QByteArray>
#include <QIODevice>

#include <functional>

// A request's body as Qt's HTTP reads it. Qt asks for the body's first bytes once the connection
// that carries it is up, and before it writes any of them to the socket: beforeSending runs then
// (and again if Qt sends the request anew on another connection), on the thread the device lives
// on. Random access and of known size, so that Qt sets the same Content-Length as for the bytes
// themselves and can send the body again.
class UploadBody : public QIODevice
{
    Q_OBJECT

public:
    UploadBody(QByteArray bytes, std::function<void()> beforeSending, QObject* parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_bytes.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    std::function<void()> m_beforeSending;
};
