#pragma once

#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"

#include <QCoroTask>

class CancelToken;

// Turns a raw transcript into finished text in a style mode, or translates it into English.
// Failures are thrown (transport, JSON, service errors; CancelledError when the token was raised).
class Styler
{
public:
    virtual ~Styler() = default;

    virtual QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                                       CancelToken* cancel = nullptr) const = 0;
};
