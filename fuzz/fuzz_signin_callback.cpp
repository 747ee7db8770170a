// Arbitrary bytes as what the sign-in service and the browser hand back: the callback address and
// its state, an access token's claims, a verify or refresh answer, an error body, and the stored
// pair.
#include "core/account/SupabaseAuth.h"
#include "fuzz/FuzzInput.h"

#include <QJsonDocument>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const QString text = QString::fromUtf8(bytes);
    const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

    for (const QUrl& url : {QUrl(text), QUrl(QStringLiteral("murmo://auth-callback#") + text)}) {
        if (const auto pair = SupabaseAuth::parseCallback(url, now)) {
            if (!pair->expiresAt.isValid())
                std::abort(); // every pair carries a usable expiry
        }
        (void)SupabaseAuth::callbackState(url);
    }
    (void)SupabaseAuth::jwtEmail(text);
    (void)SupabaseAuth::AuthError::http(400, text).description();

    expectOnlyMurmoErrors([&] {
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        const auto pair = SupabaseAuth::tokenPair(document.object(), now);
        if (!pair.expiresAt.isValid())
            std::abort();
    });

    if (const auto stored = SupabaseAuth::TokenPair::fromJson(bytes)) {
        // What the keyring gives back must survive being written again unchanged.
        if (SupabaseAuth::TokenPair::fromJson(stored->toJson()) != stored)
            std::abort();
    }
    return 0;
}
