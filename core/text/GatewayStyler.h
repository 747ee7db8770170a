#pragma once

#include "core/recognition/GatewayClient.h"
#include "core/text/Styler.h"

// Styles text through the gateway's "v1/style" call. The gateway picks the model from the tier;
// the target application's label travels beside the prompt, never inside it.
class GatewayStyler : public Styler
{
public:
    explicit GatewayStyler(GatewayClient client);

    const GatewayClient& client() const { return m_client; }

    // Errors of the gateway call propagate unchanged; an answer without a string "text" is thrown
    // as a JsonError.
    QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                               CancelToken* cancel = nullptr) const override;

    // The "v1/style" body: "system", "text" (the wrapped input), "tier" ("smart" for translations
    // and the formal mode, else "fast"), "translate", and "appContext" when there is a non-empty
    // one. Nothing when the mode wants no model pass.
    static std::optional<QJsonObject> requestBody(const StyleMode& mode, const QString& text,
                                                  const StylePreferences& preferences, bool translate);

private:
    GatewayClient m_client;
};
