#pragma once

#include "core/account/SupabaseAuth.h"
#include "tests/support/FakeHttpService.h"

// The hosted sign-in service on a good day: one address that receives codes (kEmail gets kCode),
// verification that answers a token pair for the right code and 400 otherwise, renewal that
// hands out a new pair for the refresh token it issued last, and web sign-in that sends the
// browser back where it was asked to.
class FakeSignInService : public FakeHttpService
{
    Q_OBJECT

public:
    static inline const QString kKey = QStringLiteral("sb_publishable_test_key_0123456789abcdefghijkl");
    static inline const QString kEmail = QStringLiteral("user@example.com");
    static inline const QString kCode = QStringLiteral("123456");

    explicit FakeSignInService(QObject* parent = nullptr);

    SupabaseAuth::Config config() const;

    // An unsigned JWT whose payload carries email (none: no claim).
    static QString jwt(const std::optional<QString>& email);

    // A 200 answer with tokens numbered n, lifetime 3600 s and the user's address.
    static FakeReply pairReply(int n);

    // Where a web sign-in started at authorize ends: its "redirect_to" address, with fragment
    // (encoded) as what the service adds to it.
    static QUrl webSignInRedirect(const QUrl& authorize, const QString& fragment);

    // How many renewals were answered, and the refresh token the next renewal must present.
    int refreshes = 0;
    QString currentRefreshToken = QStringLiteral("refresh-0");
};
