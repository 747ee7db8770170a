#pragma once

#include "app/account/LoginView.h"
#include "core/account/SessionStore.h"
#include "core/net/HttpTransport.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/ManualClock.h"

#include <QList>
#include <QUrl>

#include <chrono>
#include <memory>

// A sign-in sheet wired to a fake sign-in service, an in-memory keyring and a browser that only
// records what it was asked to open.
struct LoginHarness
{
    explicit LoginHarness(bool configured = true, bool offerLater = true)
    {
        transport.setTimeoutCap(std::chrono::seconds(20));
        const auto config = configured ? std::optional(service.config()) : std::nullopt;
        session = std::make_unique<SessionStore>(secrets, transport, clock, config);
        view = std::make_unique<LoginView>(*session, transport, config, offerLater, [this](const QUrl& url) {
            opened << url;
            return browserOpens;
        });
    }

    FakeSignInService service;
    FakeSecretStore secrets;
    ManualClock clock;
    HttpTransport transport;
    std::unique_ptr<SessionStore> session;
    std::unique_ptr<LoginView> view;
    QList<QUrl> opened;
    bool browserOpens = true;
};
