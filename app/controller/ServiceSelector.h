#pragma once

#include "app/controller/GatewayCredentials.h"
#include "core/recognition/GatewayClient.h"
#include "core/text/ServiceChoice.h"

#include <memory>
#include <optional>

class Clock;
class SessionStore;
class Settings;

// The controller's side of the service choice: reads the settings and the session at the moment
// of the call, so a flow started after the user changed a key or signed in uses the new one. The
// gateway's clients take their bearer from one credential source at each request, so a token that
// is renewed, or a device that registers again, serves the flows without their noticing.
// Main thread only.
class ServiceSelector
{
public:
    ServiceSelector(Settings& settings, SessionStore& session, Clock& clock, ServiceChoice::Endpoints endpoints,
                    GatewayCredentials::Config registration);

    const ServiceChoice::Endpoints& endpoints() const { return m_endpoints; }
    const std::shared_ptr<GatewayCredentials>& credentials() const { return m_credentials; }

    ServiceChoice::Inputs inputs() const;
    ServiceChoice::Choice choice() const { return ServiceChoice::choose(inputs()); }
    // The credential at hand, read without waiting (none before a device has registered).
    std::optional<Credential> gatewayCredential() const { return choice().credential; }
    // A client for the gateway's requests (styling, sync, asking); none when the user turned the
    // gateway off.
    std::optional<GatewayClient> gatewayClient() const;

    std::shared_ptr<const AsrProvider> makeProvider() const;
    std::shared_ptr<const Styler> makeStyler() const;

private:
    Settings& m_settings;
    SessionStore& m_session;
    ServiceChoice::Endpoints m_endpoints;
    std::shared_ptr<GatewayCredentials> m_credentials;
};
