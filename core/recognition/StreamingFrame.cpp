#include "core/recognition/StreamingFrame.h"

#include "core/audio/Samples.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject typed(const char* type)
{
    return QJsonObject{{QStringLiteral("type"), QLatin1StringView(type)}};
}

} // namespace

StreamingFrame StreamingFrame::configuration(const QString& corpusText, const std::optional<QString>& languageHint)
{
    QJsonObject transcription;
    if (!corpusText.isEmpty())
        transcription.insert(QStringLiteral("corpus"), QJsonObject{{QStringLiteral("text"), corpusText}});
    if (languageHint)
        transcription.insert(QStringLiteral("language"), *languageHint);
    const QJsonObject session{
        {QStringLiteral("modalities"), QJsonArray{QStringLiteral("text")}},
        {QStringLiteral("input_audio_format"), QStringLiteral("pcm")},
        {QStringLiteral("sample_rate"), kRecordingSampleRate},
        {QStringLiteral("input_audio_transcription"), transcription},
        {QStringLiteral("turn_detection"), QJsonValue::Null},
    };
    StreamingFrame frame;
    frame.m_message = typed("session.update");
    frame.m_message.insert(QStringLiteral("session"), session);
    return frame;
}

StreamingFrame StreamingFrame::audio(QByteArray base64)
{
    StreamingFrame frame;
    frame.m_audio = std::move(base64);
    frame.m_isAudio = true;
    return frame;
}

StreamingFrame StreamingFrame::commit()
{
    StreamingFrame frame;
    frame.m_message = typed("input_audio_buffer.commit");
    return frame;
}

StreamingFrame StreamingFrame::end()
{
    StreamingFrame frame;
    frame.m_message = typed("session.finish");
    return frame;
}

QByteArray StreamingFrame::json() const
{
    QJsonObject message = m_message;
    if (m_isAudio) {
        message = typed("input_audio_buffer.append");
        message.insert(QStringLiteral("audio"), QString::fromLatin1(m_audio));
    }
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}
