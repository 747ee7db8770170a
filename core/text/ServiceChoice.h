#pragma once

#include "core/recognition/Credential.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class AsrProvider;
class HttpTransport;
class LlmStyler;
class Styler;

// Which gateway credential, recogniser and styler a dictation uses, decided from the settings and
// the session alone, so that every flow decides the same way and the rule is testable without a
// network.
namespace ServiceChoice {

// The settings the choice reads; the caller copies them out of its settings store.
struct Inputs
{
    // The signed-in session's current access token, read without waiting for a refresh.
    std::optional<QString> accessToken;
    QString gatewayToken;
    bool useGateway = true;
    QString providerId;
    QString qwenApiKey;
    QString deepgramApiKey;
    QString anthropicApiKey;
    // A credential can be had when a request needs it (a device registers, a user signs in), so
    // the gateway is chosen even while none is at hand.
    bool credentialOnDemand = false;
};

enum class Recogniser
{
    Gateway,
    Qwen,
    Deepgram,
};

enum class StylerKind
{
    Gateway,
    Llm,
};

struct Choice
{
    std::optional<Credential> credential;
    Recogniser recogniser = Recogniser::Qwen;
    // The user's key for a direct recogniser; empty for the gateway, and passed on even when
    // empty so that the recogniser reports the missing key when it is used.
    QString recogniserKey;
    StylerKind styler = StylerKind::Llm;
    QString stylerKey;

    bool operator==(const Choice&) const = default;
};

// The signed-in user's token wins over the device token; none when there is neither.
std::optional<Credential> gatewayCredential(const std::optional<QString>& accessToken, const QString& gatewayToken);

Choice choose(const Inputs& inputs);

// The model asked for by the direct styler and by rule distillation.
inline const QString kLlmModel = QStringLiteral("claude-haiku-4-5-20251001");

// Where the chosen services live and how requests reach them.
struct Endpoints
{
    QUrl gateway;
    QUrl dashScope;
    QUrl deepgram;
    QUrl anthropic;
    HttpTransport* transport = nullptr;

    // The compiled-in addresses with their environment overrides.
    static Endpoints resolved(HttpTransport& transport);
};

std::shared_ptr<const AsrProvider> makeProvider(const Choice& choice, const Endpoints& endpoints);
std::shared_ptr<const Styler> makeStyler(const Choice& choice, const Endpoints& endpoints);
// The direct styler with the user's Anthropic key, for one-off completions outside styling.
LlmStyler makeLlm(const Choice& choice, const Endpoints& endpoints);

} // namespace ServiceChoice
