#pragma once

#include "app/settings/SettingsWindow.h"
#include "core/account/SessionStore.h"
#include "core/account/SignInFlow.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/FakeSecretStore.h"

#include <QTabWidget>

#include <memory>

// The application over fakes with a settings window on top. Sign-in is configured when asked for
// (the fake gateway then answers "v1/me"; the browser only records what it was asked to open);
// the session starts signed out.
struct SettingsFixture
{
    FakeApp fake;
    FakeSecretStore secrets;
    std::unique_ptr<SessionStore> session;
    std::unique_ptr<SignInFlow> signInFlow;
    QList<QUrl> opened;
    std::unique_ptr<SettingsWindow> window;
    SettingsEditors editors;

    static inline const QDateTime kNow = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);

    explicit SettingsFixture(bool signInConfigured = false)
    {
        fake.build();
        if (signInConfigured) {
            const SupabaseAuth::Config config{fake.gateway.baseUrl(), QStringLiteral("anon")};
            session = std::make_unique<SessionStore>(secrets, fake.transport, fake.clock, config);
            session->setWallClock([] { return kNow; });
            signInFlow = std::make_unique<SignInFlow>(*session, fake.transport, config, fake.gateway.baseUrl(),
                                                      [this](const QUrl& url) {
                                                          opened << url;
                                                          return QtFuture::makeReadyFuture(true);
                                                      });
        }
    }

    AppState& state() { return fake.app->state(); }
    Settings& settings() { return fake.app->settings(); }

    void signIn(std::optional<QString> email = std::nullopt)
    {
        session->adopt({QStringLiteral("access-1"), QStringLiteral("refresh-1"), kNow.addSecs(3600), email});
    }

    SettingsWindow& open()
    {
        SettingsWindow::Parts parts(state(), settings(), fake.permissions, fake.clock, fake.app->sounds());
        parts.editors = editors;
        if (session) {
            parts.session = session.get();
            parts.signIn = signInFlow.get();
            parts.gatewayURL = fake.gateway.baseUrl();
        }
        window = std::make_unique<SettingsWindow>(std::move(parts));
        return *window;
    }

    // Shows the window on the tab with that title.
    void showTab(const QString& title)
    {
        QTabWidget* tabs = window->tabs();
        tabs->setCurrentIndex(window->tabTitles().indexOf(title));
        window->show();
    }
};
