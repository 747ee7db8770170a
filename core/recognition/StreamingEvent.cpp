#include "core/recognition/StreamingEvent.h"

#include "core/net/Json.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A member that is missing or not a string reads as empty.
QString stringMember(const QJsonObject& object, QLatin1StringView name)
{
    const QJsonValue value = object.value(name);
    return value.isString() ? value.toString() : QString();
}

} // namespace

StreamingEvent StreamingEvent::parse(const QString& frame)
{
    StreamingEvent event;
    const QJsonDocument document = serviceJson(frame.toUtf8());
    if (!document.isObject())
        return event;
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QLatin1StringView("type"));
    if (!type.isString())
        return event;

    const QString name = type.toString();
    if (name == QLatin1StringView("session.updated")) {
        event.kind = Kind::SessionUpdated;
    } else if (name == QLatin1StringView("conversation.item.input_audio_transcription.text")) {
        event.kind = Kind::Text;
        event.text = stringMember(object, QLatin1StringView("text"));
        event.stash = stringMember(object, QLatin1StringView("stash"));
    } else if (name == QLatin1StringView("conversation.item.input_audio_transcription.completed")) {
        event.kind = Kind::Completed;
        event.transcript = stringMember(object, QLatin1StringView("transcript"));
    } else if (name == QLatin1StringView("error")) {
        event.kind = Kind::Error;
        const QJsonValue error = object.value(QLatin1StringView("error"));
        const QJsonValue message =
            error.isObject() ? error.toObject().value(QLatin1StringView("message")) : QJsonValue();
        event.message = message.isString() ? message.toString() : QStringLiteral("未知错误");
    }
    return event;
}
