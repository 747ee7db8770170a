#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>

// Drives tests/helpers/murmo_field_helper: another application with a line edit ("line"), a text
// edit ("text") and a password field ("password") under a chosen window class.
class FieldHelper
{
public:
    FieldHelper(const QString& windowClass, const QString& title);
    ~FieldHelper();

    // Whether the helper started and its window is up.
    bool isReady() const { return m_ready; }
    qint64 pid() const { return m_process.processId(); }

    // Each waits for the helper's answer while keeping this process's event loop running, so the
    // helper can fetch our clipboard meanwhile. An empty object means no answer.
    QJsonObject command(const QString& line);
    bool focus(const QString& field);
    bool set(const QString& field, const QString& value);
    bool select(const QString& field, int start, int length);
    QString value(const QString& field);
    bool copy(const QString& text);
    // Whether its window is the active one (from the helper's own point of view).
    bool isActive();

private:
    QProcess m_process;
    QByteArray m_buffer;
    bool m_ready = false;
};
