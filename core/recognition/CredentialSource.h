#pragma once

#include "core/MurmoError.h"
#include "core/recognition/Credential.h"
#include "core/recognition/GatewayAuthError.h"

#include <QCoroTask>

#include <functional>
#include <memory>

// Where a gateway client takes its bearer from when the bearer can change while the program runs:
// the signed-in session renews its access token, a computer without sign-in registers again for a
// device token. Main thread only.
class CredentialSource
{
public:
    virtual ~CredentialSource() = default;

    // The bearer for the next request, made good first where it can be (a token near its expiry
    // renewed, a computer without a token registered). Throws what the caller is to see when there
    // is none: GatewayAuthError when signing in would give one, GatewayUnreachableError otherwise.
    virtual QCoro::Task<Credential> current() = 0;
    // Another bearer after the gateway refused `refused` (renewed, or registered anew); throws as
    // current() does when there is no other to try.
    virtual QCoro::Task<Credential> replacing(Credential refused) = 0;
    // Throws what the caller is to see when the gateway refused the replacement too.
    [[noreturn]] virtual void refusedAgain(const Credential& replacement) = 0;
};

// No gateway credential could be had (the registration did not go through), or the gateway
// refused one it had just handed out. Trying again later may help; signing in is not needed.
class GatewayUnreachableError : public MurmoError
{
public:
    GatewayUnreachableError();
};

// The gateway refused the credential it had just handed out or renewed. It answered, so this is
// not a passing outage: waiting and trying again will not help.
class GatewayRefusedError : public MurmoError
{
public:
    GatewayRefusedError();
};

// Runs a gateway call with the source's bearer. When the gateway refuses it (401, thrown by the
// call as GatewayAuthError) the source replaces it once and the call is made once more.
template <typename T>
QCoro::Task<T> withCredential(std::shared_ptr<CredentialSource> source, std::function<QCoro::Task<T>(Credential)> call)
{
    const Credential credential = co_await source->current();
    try {
        co_return co_await call(credential);
    } catch (const GatewayAuthError&) {
        // Replaced below: a coroutine cannot wait inside a handler.
    }
    const Credential replacement = co_await source->replacing(credential);
    try {
        co_return co_await call(replacement);
    } catch (const GatewayAuthError&) {
    }
    source->refusedAgain(replacement);
}
