#pragma once

#include "core/account/SessionStore.h"
#include "core/recognition/Credential.h"
#include "core/recognition/GatewayAuthError.h"

#include <QCoroTask>
#include <QPointer>

#include <functional>

// Runs a gateway call with the session's access token. When the gateway refuses the token (it
// may have been revoked, or the computer slept past its expiry) the session renews it once and the
// call is made once more; only a second refusal, or no token at all, reaches the caller as
// GatewayAuthError, which asks the user to sign in.
template <typename T>
QCoro::Task<T> withFreshToken(SessionStore& session, std::function<QCoro::Task<T>(Credential)> call)
{
    QPointer<SessionStore> guard(&session);
    const std::optional<QString> token = co_await session.validAccessToken();
    if (!token)
        throw GatewayAuthError();
    try {
        co_return co_await call(Credential::jwt(*token));
    } catch (const GatewayAuthError&) {
        // Renewed below: a coroutine cannot wait inside a handler.
    }
    if (!guard)
        throw GatewayAuthError();
    const std::optional<QString> renewed = co_await session.tokenReplacing(*token);
    if (!renewed)
        throw GatewayAuthError();
    co_return co_await call(Credential::jwt(*renewed));
}
