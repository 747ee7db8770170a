#include "tests/app/desktop/insertion_x11/FieldHelper.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

// The helper is a whole Qt application on the accessibility bus: on a busy machine its start and
// its answers can take seconds.
constexpr int kAnswerMs = 20000;

QString quoted(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

FieldHelper::FieldHelper(const QString& windowClass, const QString& title)
{
    m_process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/helpers/murmo_field_helper"));
    m_process.setArguments({windowClass, title});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(kAnswerMs))
        return;
    QDeadlineTimer deadline(kAnswerMs);
    while (!deadline.hasExpired() && !m_buffer.contains('\n')) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        m_process.waitForReadyRead(10);
        m_buffer.append(m_process.readAllStandardOutput());
    }
    const qsizetype end = m_buffer.indexOf('\n');
    m_ready = end >= 0 && QJsonDocument::fromJson(m_buffer.left(end)).object().value(QStringLiteral("ready")).toBool();
    m_buffer.remove(0, end + 1);
}

FieldHelper::~FieldHelper()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QJsonObject FieldHelper::command(const QString& line)
{
    m_process.write(line.toUtf8() + '\n');
    QDeadlineTimer deadline(kAnswerMs);
    while (!deadline.hasExpired() && !m_buffer.contains('\n')) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        m_process.waitForReadyRead(10);
        m_buffer.append(m_process.readAllStandardOutput());
    }
    const qsizetype end = m_buffer.indexOf('\n');
    if (end < 0)
        return {};
    const QJsonObject reply = QJsonDocument::fromJson(m_buffer.left(end)).object();
    m_buffer.remove(0, end + 1);
    return reply;
}

bool FieldHelper::focus(const QString& field)
{
    return command(QStringLiteral("focus ") + field).value(QStringLiteral("ok")).toBool();
}

bool FieldHelper::set(const QString& field, const QString& value)
{
    return command(QStringLiteral("set %1 %2").arg(field, quoted(value))).value(QStringLiteral("ok")).toBool();
}

bool FieldHelper::select(const QString& field, int start, int length)
{
    return command(QStringLiteral("select %1 %2 %3").arg(field).arg(start).arg(length))
        .value(QStringLiteral("ok"))
        .toBool();
}

QString FieldHelper::value(const QString& field)
{
    return command(QStringLiteral("get ") + field).value(QStringLiteral("value")).toString();
}

bool FieldHelper::copy(const QString& text)
{
    return command(QStringLiteral("copy ") + quoted(text)).value(QStringLiteral("ok")).toBool();
}

bool FieldHelper::isActive()
{
    return command(QStringLiteral("state")).value(QStringLiteral("active")).toBool();
}
