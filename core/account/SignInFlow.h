#pragma once

#include "core/account/SupabaseAuth.h"

#include <QCoroTask>
#include <QFuture>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

class HttpTransport;
class SessionStore;

// Signing in, apart from the sheets that show it: Apple or Google in the browser, or a one-time
// code by e-mail. The application owns one; the sign-in gate and the settings window each show a
// sheet over it, and whichever sheet started a sign-in, its end is the same: the session adopts
// the pair, then the account is asked for. Main thread only.
//
// A web sign-in opens the system browser, which later hands "murmo://auth-callback?state=...#..."
// to the program; the program gives every such address to handleCallback(). Any local program can
// launch one, so only the answer to the web sign-in under way is taken (its state is a one-time
// random value that went out with the request), and only the first.
class SignInFlow : public QObject
{
    Q_OBJECT

public:
    // Opens an address in the browser; resolves to false when nothing could open it.
    using UrlOpener = std::function<QFuture<bool>(const QUrl&)>;

    // config: none when sign-in is not configured; then no step does anything. gatewayURL is
    // asked for the account once a sign-in has finished. Without an opener no browser opens.
    SignInFlow(SessionStore& session, HttpTransport& transport, std::optional<SupabaseAuth::Config> config,
               QUrl gatewayURL, UrlOpener opener, QObject* parent = nullptr);

    bool isConfigured() const { return m_config.has_value(); }
    // An e-mail step is under way.
    bool isBusy() const { return m_busy; }
    bool isCodeSent() const { return m_codeSent; }
    bool isWebSignInPending() const { return m_webState.has_value(); }
    // The web sign-in's address while no browser could open it: opened by hand in one, it still
    // signs in.
    const std::optional<QUrl>& unopenedAddress() const { return m_unopenedAddress; }
    // What the last step's failure says, in the user's words.
    const std::optional<QString>& errorText() const { return m_errorText; }

    // Whether a code can be asked for, or checked, with what the user typed.
    bool canSendCode(const QString& email) const;
    bool canVerifyCode(const QString& code) const;

    // A new sheet starts empty: whatever an earlier one left waiting is dropped, and the answer
    // to a step still under way is not taken.
    void restart();

    QCoro::Task<void> sendCode(QString email);
    QCoro::Task<void> verifyCode(QString email, QString code);
    void startWebSignIn(const QString& provider);
    // The browser cannot tell us the user gave up there; a late answer is not taken.
    void cancelWebSignIn();
    void handleCallback(const QUrl& url);

Q_SIGNALS:
    // Any of the states above changed.
    void changed();
    // The session holds the new pair.
    void signedIn();

private:
    // Runs one e-mail step busy and with the error cleared, then shows its failure. Its result;
    // none when it failed or a restart or the flow's end came meanwhile.
    template <typename T> QCoro::Task<std::optional<T>> runStep(QCoro::Task<T> step);
    void finish(const SupabaseAuth::TokenPair& pair);
    void setError(std::optional<QString> text);
    void dropWebSignIn();

    SessionStore& m_session;
    HttpTransport& m_transport;
    std::optional<SupabaseAuth::Config> m_config;
    QUrl m_gatewayURL;
    UrlOpener m_opener;

    bool m_busy = false;
    bool m_codeSent = false;
    // The state of the web sign-in under way.
    std::optional<QString> m_webState;
    std::optional<QUrl> m_unopenedAddress;
    std::optional<QString> m_errorText;
    // Advanced by every restart, so a step that began before one can tell.
    quint64 m_generation = 0;
};
