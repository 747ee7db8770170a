#pragma once

#include <QSize>
#include <QWidget>

class BusySpinner;
class QLabel;
class QLineEdit;
class QPushButton;
class SignInFlow;

// The sign-in sheet over the application's sign-in flow: it shows the flow's state and hands it
// the user's clicks. A new sheet starts the flow afresh; done() tells the host that the flow
// signed somebody in, and the host closes the sheet.
class LoginView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize entrySize{360, 390};
    static constexpr QSize codeEntrySize{360, 430};

    // offerLater shows the "以后再说" link, which emits cancelled().
    LoginView(SignInFlow& flow, bool offerLater, QWidget* parent = nullptr);

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

    SignInFlow& m_flow;

    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QWidget* m_webButtons = nullptr;
    QPushButton* m_appleButton = nullptr;
    QPushButton* m_googleButton = nullptr;
    QWidget* m_waitingRow = nullptr;
    QLabel* m_waitingLabel = nullptr;
    QPushButton* m_copyAddressLink = nullptr;
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
    // The error shown belongs to a sign-in the user has given up: it no longer applies.
    bool m_errorDismissed = false;
};
