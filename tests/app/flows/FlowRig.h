#pragma once

#include "app/controller/DictationController.h"
#include "core/store/HistoryStore.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/FakeStreamingGateway.h"

#include <memory>

// The application over fakes, with the gateway on loopback (HTTP and streaming), a front
// application to dictate into and the controller on top. Takes are fed at 16 kHz, so the
// recorder passes sample counts through unchanged.
struct FlowRig
{
    static constexpr qint32 kEditorPid = 100;
    static inline const QString kEditor = QStringLiteral("gedit");
    // The gateway's recognition and styling requests.
    static inline const QString kAsr = QStringLiteral("/v1/asr");
    static inline const QString kStyle = QStringLiteral("/v1/style");

    FakeApp fake;
    FakeStreamingGateway streaming;
    AppServices* app = nullptr;
    std::unique_ptr<DictationController> controller;

    explicit FlowRig(bool useStreaming = true, bool signInConfigured = false)
    {
        fake.signInConfigured = signInConfigured;
        fake.audioInput.setFormat({16000, 1});
        fake.workspace.addApplication(kEditor, kEditorPid, QStringLiteral("Gedit"));
        fake.workspace.frontPid = kEditorPid;
        app = &fake.build();
        Settings& settings = app->settings();
        settings.setValue(SettingKey::gatewayToken, QStringLiteral("device-token"));
        settings.setValue(SettingKey::useStreaming, useStreaming);
        settings.setValue(SettingKey::duckOthers, false);
        controller = std::make_unique<DictationController>(*app, Migrations::FnKeySystem{}, streaming.baseUrl());
    }

    ~FlowRig()
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    AppState& state() { return app->state(); }
    Recording& recording() { return controller->recording(); }
    OverlayModel& overlay() { return *app->overlay().model(); }

    // A recording of exactly `samples` samples; with streaming on, the session is confirmed
    // before the audio goes out.
    void record(qsizetype samples, float amplitude = 0.2f)
    {
        recording().start();
        if (recording().streamingSession())
            FakeStreamingGateway::waitFor([this] { return streaming.connected() && !streaming.messages().isEmpty(); });
        std::vector<float> frames(std::size_t(samples), 0.0f);
        for (std::size_t i = 0; i < frames.size(); ++i)
            frames[i] = amplitude * float((i / 20) % 2 ? 1 : -1);
        fake.audioInput.deliver(frames);
    }

    // Spins the event loop until the condition holds (real time: loopback traffic and workers).
    static bool until(const std::function<bool()>& done, int timeoutMs = 20000)
    {
        return FakeStreamingGateway::waitFor(done, timeoutMs);
    }

    bool statusStartsWith(const QString& prefix) { return state().statusLine().startsWith(prefix); }
    // Waits for the status line to start with prefix, letting the paste's short steps pass on the
    // manual clock as they fall due (and nothing scheduled further ahead).
    bool settledOn(const QString& prefix)
    {
        return until([&] {
            const std::optional<std::chrono::milliseconds> due = fake.clock.nextDue();
            if (due && *due - fake.clock.now() <= TextInserter::waitStep)
                fake.clock.advance(*due - fake.clock.now());
            return statusStartsWith(prefix);
        });
    }

    int requestsTo(const QString& path) const { return int(fake.gateway.requestsTo(path).size()); }

    HistoryEntry onlyEntry() const
    {
        const QList<HistoryEntry> all = app->history().all();
        return all.size() == 1 ? all.first() : HistoryEntry{};
    }
};
