#pragma once

#include "core/account/SessionStore.h"
#include "core/account/SignInFlow.h"
#include "core/net/HttpTransport.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/ManualClock.h"

#include <QList>
#include <QPromise>
#include <QUrl>

#include <chrono>
#include <memory>

// A sign-in flow wired to a fake sign-in service (which also stands in for the gateway's account
// address), an in-memory keyring and a browser that only records what it was asked to open. The
// browser answers at once as browserOpens says; with none it answers when the test settles it.
struct SignInHarness
{
    explicit SignInHarness(bool configured = true)
    {
        transport.setTimeoutCap(std::chrono::seconds(20));
        const auto config = configured ? std::optional(service.config()) : std::nullopt;
        session = std::make_unique<SessionStore>(secrets, transport, clock, config);
        flow = std::make_unique<SignInFlow>(*session, transport, config, service.baseUrl(), [this](const QUrl& url) {
            opened << url;
            opening = std::make_shared<QPromise<bool>>();
            opening->start();
            if (browserOpens)
                settleOpening(*browserOpens);
            return opening->future();
        });
    }

    // The browser's answer to the last web sign-in opened, with fragment as the service's part.
    QUrl callback(const QString& fragment) const
    {
        return FakeSignInService::webSignInRedirect(opened.last(), fragment);
    }

    void settleOpening(bool opened)
    {
        opening->addResult(opened);
        opening->finish();
    }

    bool sessionStored() const { return secrets.item("com.kelto.murmo.session", "supabase").has_value(); }

    FakeSignInService service;
    FakeSecretStore secrets;
    ManualClock clock;
    HttpTransport transport;
    std::unique_ptr<SessionStore> session;
    std::unique_ptr<SignInFlow> flow;
    QList<QUrl> opened;
    std::optional<bool> browserOpens = true;
    // The last address's answer.
    std::shared_ptr<QPromise<bool>> opening;
};
