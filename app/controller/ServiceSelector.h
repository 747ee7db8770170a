#pragma once

#include "core/recognition/GatewayClient.h"
#include "core/text/ServiceChoice.h"

#include <functional>
#include <memory>
#include <optional>

class Settings;

// The controller's side of the service choice: reads the settings and the session at the moment
// of the call, so a flow started after the user changed a key or signed in uses the new one.
// Main thread only.
class ServiceSelector
{
public:
    // The signed-in session's current access token, none when nobody is signed in.
    using AccessToken = std::function<std::optional<QString>()>;

    ServiceSelector(Settings& settings, AccessToken accessToken, ServiceChoice::Endpoints endpoints);

    const ServiceChoice::Endpoints& endpoints() const { return m_endpoints; }

    ServiceChoice::Inputs inputs() const;
    ServiceChoice::Choice choice() const { return ServiceChoice::choose(inputs()); }
    std::optional<Credential> gatewayCredential() const { return choice().credential; }
    // A client for the gateway's requests (styling, sync, asking); none when the user turned the
    // gateway off or no credential is at hand.
    std::optional<GatewayClient> gatewayClient() const;

    std::shared_ptr<const AsrProvider> makeProvider() const;
    std::shared_ptr<const Styler> makeStyler() const;

private:
    Settings& m_settings;
    AccessToken m_accessToken;
    ServiceChoice::Endpoints m_endpoints;
};
