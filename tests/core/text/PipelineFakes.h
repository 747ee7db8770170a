#pragma once

#include "core/MurmoError.h"
#include "core/text/Styler.h"
#include "tests/support/ManualClock.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

// A styler that records what it was asked and answers from a script: the text unchanged by
// default, or whatever respond returns (respond may throw). Each call advances clock by takes,
// so styling times are exact.
class FakeStyler : public Styler
{
public:
    struct Call
    {
        StyleMode mode;
        QString text;
        StylePreferences preferences;
        bool translate = false;
    };

    mutable QList<Call> calls;
    std::function<QString(const Call&)> respond;
    ManualClock* clock = nullptr;
    std::chrono::milliseconds takes{0};

    QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                               CancelToken*) const override
    {
        const Call call{std::move(mode), std::move(text), std::move(preferences), translate};
        calls.append(call);
        if (clock)
            clock->advance(takes);
        co_return respond ? respond(call) : call.text;
    }
};

// A manual clock that lets every wait pass on its own, a moment after it was scheduled, and
// remembers how long each wait was. now() moves only by those waits, so times measured across
// them are exact whatever the network took.
class AutoAdvancingClock : public QObject, public ManualClock
{
public:
    std::vector<std::chrono::milliseconds> waits;

    TimerId schedule(std::chrono::milliseconds delay, std::function<void()> callback) override
    {
        waits.push_back(delay);
        const TimerId id = ManualClock::schedule(delay, std::move(callback));
        QTimer::singleShot(0, this, [this, delay] { advance(delay); });
        return id;
    }
};

// What a styler throws when the model cannot be reached.
class FakeStylingError : public MurmoError
{
public:
    FakeStylingError()
        : MurmoError(QStringLiteral("润色失败"))
    {}
};
