#pragma once

#include "core/MurmoError.h"

class QJsonParseError;

// The connection failed, timed out or was refused before an HTTP answer arrived. The description
// is Qt's own text for the failure.
class TransportError : public MurmoError
{
public:
    enum class Kind
    {
        Failed,
        TimedOut,
        InsecureUrl,
        // The service sent the request elsewhere (a 3xx); it was not followed.
        Redirected,
        // The answer grew past what it can sanely be and was cut off.
        AnswerTooLarge,
    };

    TransportError(Kind kind, QString description);

    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// A service answered with something that is not the JSON it promised: text that does not parse,
// or a document without a member the program needs.
class JsonError : public MurmoError
{
public:
    explicit JsonError(QString description);

    static JsonError fromParse(const QJsonParseError& error);
    static JsonError missingMember(const QString& path);
};
