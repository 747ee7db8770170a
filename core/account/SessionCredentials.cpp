#include "core/account/SessionCredentials.h"

#include "core/account/SessionStore.h"

SessionCredentials::SessionCredentials(SessionStore& session)
    : m_session(&session)
{}

QCoro::Task<Credential> SessionCredentials::current()
{
    if (!m_session)
        throw GatewayAuthError();
    const std::optional<QString> token = co_await m_session->validAccessToken();
    if (!token)
        throw GatewayAuthError();
    co_return Credential::jwt(*token);
}

QCoro::Task<Credential> SessionCredentials::replacing(Credential refused)
{
    if (!m_session)
        throw GatewayAuthError();
    const std::optional<QString> renewed = co_await m_session->tokenReplacing(refused.bearer());
    if (!renewed)
        throw GatewayAuthError();
    co_return Credential::jwt(*renewed);
}

void SessionCredentials::refusedAgain(const Credential&)
{
    throw GatewayAuthError();
}
