#include "app/controller/ServiceSelector.h"

#include "app/controller/Settings.h"

ServiceSelector::ServiceSelector(Settings& settings, AccessToken accessToken, ServiceChoice::Endpoints endpoints)
    : m_settings(settings)
    , m_accessToken(std::move(accessToken))
    , m_endpoints(std::move(endpoints))
{}

ServiceChoice::Inputs ServiceSelector::inputs() const
{
    ServiceChoice::Inputs inputs;
    if (m_accessToken)
        inputs.accessToken = m_accessToken();
    inputs.gatewayToken = m_settings.text(SettingKey::gatewayToken);
    inputs.useGateway = m_settings.flag(SettingKey::useGateway);
    inputs.providerId = m_settings.text(SettingKey::providerId);
    inputs.qwenApiKey = m_settings.text(SettingKey::qwenApiKey);
    inputs.deepgramApiKey = m_settings.text(SettingKey::deepgramApiKey);
    inputs.anthropicApiKey = m_settings.text(SettingKey::anthropicApiKey);
    return inputs;
}

std::optional<GatewayClient> ServiceSelector::gatewayClient() const
{
    const std::optional<Credential> credential = gatewayCredential();
    if (!m_settings.flag(SettingKey::useGateway) || !credential)
        return std::nullopt;
    return GatewayClient(m_endpoints.gateway, *credential, m_endpoints.transport);
}

std::shared_ptr<const AsrProvider> ServiceSelector::makeProvider() const
{
    return ServiceChoice::makeProvider(choice(), m_endpoints);
}

std::shared_ptr<const Styler> ServiceSelector::makeStyler() const
{
    return ServiceChoice::makeStyler(choice(), m_endpoints);
}
