#pragma once

#include "app/controller/AppServices.h"
#include "app/controller/ControllerStartup.h"
#include "core/net/HttpTransport.h"
#include "tests/app/controller/LoopbackOptions.h"
#include "tests/app/feedback/FeedbackFakes.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/FakeAppearance.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeFreedMemory.h"
#include "tests/support/FakeKeySource.h"
#include "tests/support/FakeOutputVolume.h"
#include "tests/support/FakePermissionProbes.h"
#include "tests/support/FakeProcessLauncher.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeServices.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/ManualClock.h"

#include <QTemporaryDir>

#include <memory>

// A second of speech-like signal: enough to be sent for recognition.
inline Samples oneSecondTake()
{
    Samples samples(16000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = (i % 40 < 20) ? 0.2f : -0.2f;
    return samples;
}

// The application over fakes of every port, its settings and data in a temporary folder and its
// gateway on loopback. Tests arrange the settings and the data before build(); accessToken signs
// somebody in.
struct FakeApp
{
    QTemporaryDir dir;
    ManualClock clock;
    FakeKeySource keys;
    RecordingKeySynthesizer keySynthesizer;
    FakeAudioInput audioInput;
    FakeSoundOutput soundOutput;
    FakeOutputVolume outputVolume;
    FakeClipboard clipboard;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakeCompositing compositing;
    FakeAppearance appearance;
    FakePermissionProbes permissions;
    FakeProcessLauncher launcher;
    FakeSecretStore secrets;
    FakeFreedMemory freedMemory;
    FakeScreens screens;
    FakeGateway gateway;
    HttpTransport transport;
    int fnKeyChanges = 0;
    bool signInConfigured = false;
    // What the browser was asked to open.
    QList<QUrl> opened;
    std::optional<QString> accessToken;

    std::unique_ptr<AppServices> app;
    std::unique_ptr<ControllerStartup> startup;

    FakeApp() { permissions.accessibility = true; }

    QString settingsName = QStringLiteral("Murmo.conf");
    QString settingsFile() const { return dir.filePath(QStringLiteral("config/") + settingsName); }
    QString dataDirectory() const { return dir.filePath(QStringLiteral("data/Murmo")); }

    Ports ports() { return ports(clock); }
    // The fakes on another clock, and the allocator's own pools where memory is measured: the
    // benchmarks run on the real ones.
    Ports ports(Clock& on, FreedMemory* pools = nullptr)
    {
        return Ports{on,           keys,        keySynthesizer, audioInput,    soundOutput,
                     outputVolume, clipboard,   workspace,      accessibility, compositing,
                     appearance,   permissions, launcher,       secrets,       pools ? *pools : freedMemory};
    }

    // Where this fake keeps the settings and data, and its services on loopback.
    AppServices::Options options()
    {
        AppServices::Options options = loopbackOptions(dir, gateway, transport);
        options.settingsFile = settingsFile();
        if (signInConfigured)
            options.signIn = SupabaseAuth::Config{gateway.baseUrl(), QStringLiteral("anon-key")};
        options.gateway.deviceLabel = QStringLiteral("test-host");
        options.browser = [this](const QUrl& url) {
            opened << url;
            return QtFuture::makeReadyFuture(true);
        };
        return options;
    }

    AppServices& build()
    {
        app = std::make_unique<AppServices>(ports(), screens, options());
        if (accessToken) {
            const QDateTime inAnHour = QDateTime::currentDateTimeUtc().addSecs(3600);
            app->session().adopt(
                SupabaseAuth::TokenPair{*accessToken, QStringLiteral("refresh"), inAnHour, std::nullopt});
        }
        startup = std::make_unique<ControllerStartup>(
            ControllerStartup::Parts{app->state(), app->settings(), app->hotkeys(), app->feedback(), app->lexicon(),
                                     app->ducker(), workspace, app->overlay(), app->session(), app->gateway()},
            Migrations::FnKeySystem{[] { return true; }, [this] { return ++fnKeyChanges > 0; }});
        return *app;
    }
};
