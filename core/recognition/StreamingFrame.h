#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// One text frame for the realtime recogniser. Built where the decision to send it is taken, under
// the session's lock, and turned into JSON text on the socket's thread, so an audio chunk stays
// the base64 bytes the capture thread made until then.
class StreamingFrame
{
public:
    // "session.update": text-only output of 16 kHz PCM, no server-side turn detection. The
    // transcription options carry the vocabulary prompt when there is one and the hint when one
    // was given (an empty hint too).
    static StreamingFrame configuration(const QString& corpusText, const std::optional<QString>& languageHint);
    // "input_audio_buffer.append" with one base64 PCM chunk.
    static StreamingFrame audio(QByteArray base64);
    // "input_audio_buffer.commit": turn what the server holds into one transcript.
    static StreamingFrame commit();
    // "session.finish".
    static StreamingFrame end();

    // The frame as compact JSON, UTF-8.
    QByteArray json() const;

private:
    StreamingFrame() = default;

    QJsonObject m_message;
    QByteArray m_audio;
    bool m_isAudio = false;
};
