#pragma once

#include "core/recognition/Credential.h"
#include "core/recognition/StreamingAsr.h"
#include "tests/support/FakeStreamingGateway.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"

#include <QCoreApplication>
#include <QEvent>

// A streaming session wired to the fake gateway, with time in the test's hands. Members are
// declared so that the session goes before the clock and the gateway it uses.
struct StreamingHarness
{
    FakeStreamingGateway gateway;
    ManualClock clock;
    std::shared_ptr<StreamingAsr> asr;

    StreamingHarness()
    {
        asr = StreamingAsr::create(gateway.baseUrl(), Credential::jwt(QStringLiteral("jwt-1")), clock);
    }

    ~StreamingHarness()
    {
        asr.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Starts the session and waits until the gateway has its configuration.
    bool start(const QStringList& vocabulary = {}, const std::optional<QString>& hint = std::nullopt)
    {
        asr->start(vocabulary, hint);
        return gateway.waitForMessages(1);
    }

    // Spins the event loop until the gateway holds `count` messages.
    bool waitForMessages(int count) { return gateway.waitForMessages(count); }

    // Lets queued work (sends, partial text, resumptions) run.
    static void settle(int rounds = 5)
    {
        for (int i = 0; i < rounds; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

// 16 kHz samples: speech-loud (RMS 0.25) or silent.
inline Samples loudSamples(qsizetype count, float value = 0.25f)
{
    return Samples(std::size_t(count), value);
}

inline Samples quietSamples(qsizetype count)
{
    return Samples(std::size_t(count), 0.0f);
}
