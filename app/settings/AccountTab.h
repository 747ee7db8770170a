#pragma once

#include "app/settings/SettingsForm.h"
#include "core/async/CancelToken.h"

#include <QCoroTask>
#include <QPointer>
#include <QUrl>

class QLabel;
class QPushButton;
class SessionStore;

// "账户": who is signed in, with sign-in and sign-out. Each time the tab comes on screen while
// somebody is signed in it asks the gateway for the account again; leaving or closing the tab
// aborts that request.
class AccountTab : public SettingsForm
{
    Q_OBJECT

public:
    // gatewayURL: where the session fetches the signed-in account.
    AccountTab(SessionStore& session, QUrl gatewayURL, QWidget* parent = nullptr);
    ~AccountTab() override;

    QWidget* signedOutRow() const { return m_signedOut; }
    QWidget* signedInRow() const { return m_signedIn; }
    QString emailText() const;
    bool isRefreshing() const { return m_cancel != nullptr; }

    void applyTheme() override;

Q_SIGNALS:
    void signInRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSession();
    QCoro::Task<void> refreshAccount();
    void stopRefresh();

    SessionStore& m_session;
    const QUrl m_gatewayURL;
    QWidget* m_signedOut;
    QWidget* m_signedIn;
    QPushButton* m_signIn = nullptr;
    QLabel* m_email = nullptr;
    // The running refresh's token; none while no refresh runs.
    QPointer<CancelToken> m_cancel;
};
