#pragma once

#include "core/recognition/CredentialSource.h"

#include <QPointer>

class SessionStore;

// The signed-in session as the gateway's credential: its access token, renewed when it is about
// to run out or when the gateway refused it. Without a token that works the caller is asked to
// sign in (GatewayAuthError); the session itself is never signed out from here.
class SessionCredentials : public CredentialSource
{
public:
    explicit SessionCredentials(SessionStore& session);

    QCoro::Task<Credential> current() override;
    QCoro::Task<Credential> replacing(Credential refused) override;
    [[noreturn]] void refusedAgain(const Credential& replacement) override;

private:
    QPointer<SessionStore> m_session;
};
