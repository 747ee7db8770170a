#include "app/settings/AccountTab.h"

#include "app/ui/Theme.h"
#include "core/account/SessionStore.h"
#include "core/async/CancelToken.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AccountTab::AccountTab(SessionStore& session, QUrl gatewayURL, QWidget* parent)
    : SettingsForm(parent)
    , m_session(session)
    , m_gatewayURL(std::move(gatewayURL))
{
    SettingsSection* section = addSection(QStringLiteral("账户"));

    m_signedOut = new QWidget(section->card());
    auto* outLayout = new QVBoxLayout(m_signedOut);
    outLayout->setContentsMargins(0, 0, 0, 0);
    outLayout->addWidget(new CaptionLabel(QStringLiteral("登录后即可使用 Murmo 云端识别与润色，个人词库随账户同步。"),
                                          CaptionLabel::Tone::Secondary, m_signedOut));
    m_signIn = new QPushButton(QStringLiteral("登录 / 注册"), m_signedOut);
    m_signIn->setObjectName(QStringLiteral("signIn"));
    connect(m_signIn, &QPushButton::clicked, this, &AccountTab::signInRequested);
    outLayout->addWidget(m_signIn, 0, Qt::AlignLeft);
    section->addRow(m_signedOut);

    m_signedIn = new QWidget(section->card());
    auto* inLayout = new QVBoxLayout(m_signedIn);
    inLayout->setContentsMargins(0, 0, 0, 0);
    auto* emailRow = new QHBoxLayout;
    emailRow->addWidget(new QLabel(QStringLiteral("邮箱"), m_signedIn));
    emailRow->addStretch(1);
    m_email = new QLabel(m_signedIn);
    m_email->setObjectName(QStringLiteral("email"));
    // The address comes from the gateway: shown as text, never as markup.
    m_email->setTextFormat(Qt::PlainText);
    m_email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    emailRow->addWidget(m_email);
    inLayout->addLayout(emailRow);
    auto* signOut = new QPushButton(QStringLiteral("退出登录"), m_signedIn);
    signOut->setObjectName(QStringLiteral("signOut"));
    QFont small = signOut->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    signOut->setFont(small);
    connect(signOut, &QPushButton::clicked, &m_session, &SessionStore::signOut);
    inLayout->addWidget(signOut, 0, Qt::AlignLeft);
    section->addRow(m_signedIn);

    connect(&m_session, &SessionStore::changed, this, &AccountTab::showSession);
    showSession();
    applyTheme();
}

void AccountTab::applyTheme()
{
    SettingsForm::applyTheme();
    // The one prominent button of the tab: filled with the accent.
    QPalette colours = m_signIn->palette();
    colours.setColor(QPalette::Button, Theme::color(Theme::palette().accent));
    colours.setColor(QPalette::ButtonText, Theme::color(Theme::palette().onAccent));
    m_signIn->setPalette(colours);
}

AccountTab::~AccountTab()
{
    // Aborts the request at once rather than letting it finish for a tab that is gone.
    stopRefresh();
}

QString AccountTab::emailText() const
{
    return m_email->text();
}

void AccountTab::showSession()
{
    const bool signedIn = m_session.isLoggedIn();
    m_signedOut->setVisible(!signedIn);
    m_signedIn->setVisible(signedIn);
    m_email->setText(m_session.email().value_or(QStringLiteral("—")));
}

void AccountTab::showEvent(QShowEvent* event)
{
    SettingsForm::showEvent(event);
    refreshAccount();
}

void AccountTab::hideEvent(QHideEvent* event)
{
    stopRefresh();
    SettingsForm::hideEvent(event);
}

void AccountTab::stopRefresh()
{
    if (m_cancel)
        m_cancel->cancel();
    m_cancel = nullptr;
}

QCoro::Task<void> AccountTab::refreshAccount()
{
    if (!m_session.isLoggedIn())
        co_return;
    stopRefresh();
    QPointer<AccountTab> self(this);
    QPointer<CancelToken> cancel = new CancelToken(this);
    m_cancel = cancel;
    // A failed or stopped refresh leaves the account as shown; the next visit asks again.
    co_await m_session.refreshMe(m_gatewayURL, cancel.data());
    // The tab may have been closed meanwhile; its token went with it.
    if (!self)
        co_return;
    if (m_cancel == cancel)
        m_cancel = nullptr;
    if (cancel)
        cancel->deleteLater();
}
