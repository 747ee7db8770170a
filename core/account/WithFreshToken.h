#pragma once

#include "core/account/SessionCredentials.h"

#include <functional>
#include <memory>

// Runs a gateway call with the session's access token. When the gateway refuses the token (it
// may have been revoked, or the computer slept past its expiry) the session renews it once and the
// call is made once more; only a second refusal, or no token at all, reaches the caller as
// GatewayAuthError, which asks the user to sign in.
template <typename T>
QCoro::Task<T> withFreshToken(SessionStore& session, std::function<QCoro::Task<T>(Credential)> call)
{
    return withCredential<T>(std::make_shared<SessionCredentials>(session), std::move(call));
}
