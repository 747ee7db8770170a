#include "app/controller/ServiceSelector.h"

#include "app/controller/Settings.h"
#include "core/account/SessionStore.h"
#include "core/recognition/GatewayAsrProvider.h"
#include "core/text/GatewayStyler.h"

ServiceSelector::ServiceSelector(Settings& settings, SessionStore& session, Clock& clock,
                                 ServiceChoice::Endpoints endpoints, GatewayCredentials::Config registration)
    : m_settings(settings)
    , m_session(session)
    , m_endpoints(std::move(endpoints))
    , m_credentials(std::make_shared<GatewayCredentials>(settings, session, clock, m_endpoints.gateway,
                                                         m_endpoints.transport, std::move(registration)))
{}

ServiceChoice::Inputs ServiceSelector::inputs() const
{
    ServiceChoice::Inputs inputs;
    inputs.accessToken = m_session.currentAccessToken();
    inputs.gatewayToken = m_settings.text(SettingKey::gatewayToken);
    // A device registers, or a user signs in, when a request finds no credential.
    inputs.credentialOnDemand = true;
    inputs.useGateway = m_settings.flag(SettingKey::useGateway);
    inputs.providerId = m_settings.text(SettingKey::providerId);
    inputs.qwenApiKey = m_settings.text(SettingKey::qwenApiKey);
    inputs.deepgramApiKey = m_settings.text(SettingKey::deepgramApiKey);
    inputs.anthropicApiKey = m_settings.text(SettingKey::anthropicApiKey);
    return inputs;
}

std::optional<GatewayClient> ServiceSelector::gatewayClient() const
{
    if (choice().styler != ServiceChoice::StylerKind::Gateway)
        return std::nullopt;
    return GatewayClient(m_endpoints.gateway, m_credentials, m_endpoints.transport);
}

std::shared_ptr<const AsrProvider> ServiceSelector::makeProvider() const
{
    const ServiceChoice::Choice chosen = choice();
    if (chosen.recogniser == ServiceChoice::Recogniser::Gateway)
        return std::make_shared<GatewayAsrProvider>(
            GatewayClient(m_endpoints.gateway, m_credentials, m_endpoints.transport));
    return ServiceChoice::makeProvider(chosen, m_endpoints);
}

std::shared_ptr<const Styler> ServiceSelector::makeStyler() const
{
    const ServiceChoice::Choice chosen = choice();
    if (chosen.styler == ServiceChoice::StylerKind::Gateway)
        return std::make_shared<GatewayStyler>(
            GatewayClient(m_endpoints.gateway, m_credentials, m_endpoints.transport));
    return ServiceChoice::makeStyler(chosen, m_endpoints);
}
