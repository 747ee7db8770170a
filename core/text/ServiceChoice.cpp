#include "core/text/ServiceChoice.h"

#include "core/net/ServiceEndpoints.h"
#include "core/recognition/DeepgramProvider.h"
#include "core/recognition/GatewayAsrProvider.h"
#include "core/recognition/QwenAsrProvider.h"
#include "core/text/GatewayStyler.h"
#include "core/text/LlmStyler.h"

namespace ServiceChoice {

std::optional<Credential> gatewayCredential(const std::optional<QString>& accessToken, const QString& gatewayToken)
{
    // An empty token would be sent as a bare "Bearer" and refused; the device token serves then.
    if (accessToken && !accessToken->isEmpty())
        return Credential::jwt(*accessToken);
    if (!gatewayToken.isEmpty())
        return Credential::deviceToken(gatewayToken);
    return std::nullopt;
}

Choice choose(const Inputs& inputs)
{
    Choice choice;
    choice.credential = gatewayCredential(inputs.accessToken, inputs.gatewayToken);
    const bool viaGateway = inputs.useGateway && (choice.credential.has_value() || inputs.credentialOnDemand);

    // Deepgram is an explicit choice of the user's own account, so it wins even over the gateway.
    if (inputs.providerId == QLatin1String("deepgram")) {
        choice.recogniser = Recogniser::Deepgram;
        choice.recogniserKey = inputs.deepgramApiKey;
    } else if (viaGateway) {
        choice.recogniser = Recogniser::Gateway;
    } else {
        choice.recogniser = Recogniser::Qwen;
        choice.recogniserKey = inputs.qwenApiKey;
    }

    if (viaGateway) {
        choice.styler = StylerKind::Gateway;
    } else {
        choice.styler = StylerKind::Llm;
        choice.stylerKey = inputs.anthropicApiKey;
    }
    return choice;
}

Endpoints Endpoints::resolved(HttpTransport& transport)
{
    return Endpoints{ServiceEndpoints::gateway(), ServiceEndpoints::dashScope(), ServiceEndpoints::deepgram(),
                     ServiceEndpoints::anthropic(), &transport};
}

std::shared_ptr<const AsrProvider> makeProvider(const Choice& choice, const Endpoints& endpoints)
{
    switch (choice.recogniser) {
    case Recogniser::Deepgram:
        return std::make_shared<DeepgramProvider>(choice.recogniserKey, endpoints.deepgram, endpoints.transport);
    case Recogniser::Gateway:
        if (choice.credential)
            return std::make_shared<GatewayAsrProvider>(
                GatewayClient(endpoints.gateway, *choice.credential, endpoints.transport));
        break;
    case Recogniser::Qwen:
        break;
    }
    return std::make_shared<QwenAsrProvider>(choice.recogniserKey, endpoints.dashScope, endpoints.transport);
}

std::shared_ptr<const Styler> makeStyler(const Choice& choice, const Endpoints& endpoints)
{
    if (choice.styler == StylerKind::Gateway && choice.credential)
        return std::make_shared<GatewayStyler>(
            GatewayClient(endpoints.gateway, *choice.credential, endpoints.transport));
    return std::make_shared<LlmStyler>(makeLlm(choice, endpoints));
}

LlmStyler makeLlm(const Choice& choice, const Endpoints& endpoints)
{
    return LlmStyler(choice.stylerKey, kLlmModel, endpoints.anthropic, endpoints.transport);
}

} // namespace ServiceChoice
