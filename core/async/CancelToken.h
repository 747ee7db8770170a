#pragma once

#include "core/MurmoError.h"

#include <QObject>

// A flag that one party raises to stop work another party is doing. Network calls abort their
// reply when it is raised; loops and sleeps check it. Lives on the main thread.
class CancelToken : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool isCancelled() const { return m_cancelled; }

    // Raising the flag twice is harmless; listeners hear about it once.
    void cancel();

    // Throws CancelledError when the flag is up, so a coroutine can stop at its next step.
    void throwIfCancelled() const;

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};

// Thrown by work that stopped because its token was cancelled. Callers that cancelled expect it
// and drop it; it never reaches the user.
class CancelledError : public MurmoError
{
public:
    CancelledError();
};
