#pragma once

#include "core/account/SupabaseAuth.h"

#include <QCoroTask>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class BusySpinner;
class HttpTransport;
class QLabel;
class QLineEdit;
class QPushButton;
class SessionStore;

// The sign-in sheet: Apple or Google in the browser, or a one-time code by e-mail. A completed
// sign-in goes to the session and then done() tells the host, which closes the sheet.
//
// A web sign-in opens the system browser, which later hands "murmo://auth-callback#..." to the
// program; the host passes it to handleCallback(). Only a callback this sheet is waiting for is
// taken, and only the first: any local program can launch such an address.
class LoginView : public QWidget
{
    Q_OBJECT

public:
    // Opens an address in the browser; false when nothing could open it.
    using UrlOpener = std::function<bool(const QUrl&)>;

    static constexpr QSize entrySize{360, 390};
    static constexpr QSize codeEntrySize{360, 430};

    // config: none when sign-in is not configured. offerLater shows the "以后再说" link, which
    // emits cancelled(). opener defaults to the desktop's browser.
    LoginView(SessionStore& session, HttpTransport& transport, std::optional<SupabaseAuth::Config> config,
              bool offerLater, UrlOpener opener = {}, QWidget* parent = nullptr);
    ~LoginView() override;

    bool isBusy() const { return m_busy; }
    bool isCodeSent() const { return m_codeSent; }
    bool isWebSignInPending() const { return m_webPending; }
    std::optional<QString> errorText() const { return m_errorText; }

public Q_SLOTS:
    void handleCallback(const QUrl& url);

Q_SIGNALS:
    void done();
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build(bool offerLater);
    QWidget* buildWebButtons();
    QWidget* buildWaitingRow();
    QWidget* buildEmailBlock();
    QPushButton* makeLink(const QString& text);
    void applyTheme();
    void updateControls();

    QCoro::Task<void> sendCode();
    QCoro::Task<void> verifyCode();
    // Runs one step of the email sign-in with the view busy and its error cleared, then makes the
    // view idle again and shows the step's failure. The step's result, which the caller then
    // shows; none when it failed or the view has gone meanwhile (then nothing may be touched).
    template <typename T> QCoro::Task<std::optional<T>> runStep(QCoro::Task<T> step);
    void startOAuth(const QString& provider);
    void finishSignIn(const SupabaseAuth::TokenPair& pair);
    void setError(std::optional<QString> text);

    SessionStore& m_session;
    HttpTransport& m_transport;
    std::optional<SupabaseAuth::Config> m_config;
    UrlOpener m_opener;

    bool m_busy = false;
    bool m_codeSent = false;
    bool m_webPending = false;
    std::optional<QString> m_errorText;

    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QWidget* m_webButtons = nullptr;
    QPushButton* m_appleButton = nullptr;
    QPushButton* m_googleButton = nullptr;
    QWidget* m_waitingRow = nullptr;
    QLabel* m_waitingLabel = nullptr;
    QPushButton* m_cancelWebLink = nullptr;
    QLabel* m_separatorText = nullptr;
    QLineEdit* m_emailField = nullptr;
    QPushButton* m_sendButton = nullptr;
    BusySpinner* m_sendSpinner = nullptr;
    QLineEdit* m_codeField = nullptr;
    QPushButton* m_verifyButton = nullptr;
    BusySpinner* m_verifySpinner = nullptr;
    QPushButton* m_resendLink = nullptr;
    QLabel* m_errorLabel = nullptr;
    QLabel* m_notConfiguredLabel = nullptr;
    QPushButton* m_laterLink = nullptr;
};
