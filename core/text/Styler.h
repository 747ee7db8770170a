#pragma once

#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"

#include <QCoroTask>

#include <chrono>

class CancelToken;

// Turns a raw transcript into finished text in a style mode, or translates it into English.
// Failures are thrown (transport, JSON, service errors; CancelledError when the token was raised).
class Styler
{
public:
    // How long a styling may take in all, from its request to the end of the answer.
    static constexpr std::chrono::milliseconds kTimeout{40000};

    virtual ~Styler() = default;

    // The time the pipeline gives one apply() before it goes on with the unstyled text.
    virtual std::chrono::milliseconds timeout() const { return kTimeout; }

    virtual QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                                       CancelToken* cancel = nullptr) const = 0;
};
