#include "app/account/LoginView.h"

#include "app/ui/BusySpinner.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"
#include "core/account/SignInFlow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int controlHeight = 26;
const QString kCopyAddress = QStringLiteral("复制登录链接，到浏览器里打开");

QString css(const QColor& color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

QIcon symbol(const QString& name, const QColor& color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    SymbolIcon::paint(painter, name, QRectF(0, 0, 32, 32), color);
    return QIcon(pixmap);
}

QLabel* label(const QString& text, qreal size, const char* role, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(DesignFonts::font(size));
    l->setAlignment(Qt::AlignCenter);
    l->setProperty("role", role);
    return l;
}

// Buttons never act on Return: the sheet has no default button, even inside a dialog.
QPushButton* button(const QString& text, const char* role, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setProperty("role", role);
    return b;
}

} // namespace

LoginView::LoginView(SignInFlow& flow, bool offerLater, QWidget* parent)
    : QWidget(parent)
    , m_flow(flow)
{
    m_flow.restart();
    build(offerLater);
    applyTheme();
    updateControls();
    connect(&m_flow, &SignInFlow::changed, this, &LoginView::updateControls);
    connect(&m_flow, &SignInFlow::signedIn, this, &LoginView::done);
}

void LoginView::build(bool offerLater)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(18);
    layout->setContentsMargins(36, 0, 36, 20);

    auto* titleBlock = new QWidget(this);
    auto* titleLayout = new QVBoxLayout(titleBlock);
    titleLayout->setSpacing(6);
    titleLayout->setContentsMargins(0, 26, 0, 0);
    m_title = label(QStringLiteral("登录Murmo"), 22, "primary", titleBlock);
    m_title->setFont(DesignFonts::font(22, QFont::DemiBold));
    m_subtitle = label(QStringLiteral("登录后词库跨设备同步"), 12, "secondary", titleBlock);
    titleLayout->addWidget(m_title);
    titleLayout->addWidget(m_subtitle);
    layout->addWidget(titleBlock);

    layout->addWidget(buildWebButtons());
    layout->addWidget(buildWaitingRow());

    auto* separator = new QWidget(this);
    auto* separatorLayout = new QHBoxLayout(separator);
    separatorLayout->setContentsMargins(6, 0, 6, 0);
    m_separatorText = label(QStringLiteral("或邮箱验证码"), 11, "secondary", separator);
    for (int i = 0; i < 2; ++i) {
        auto* rule = new QWidget(separator);
        rule->setObjectName(QStringLiteral("rule"));
        rule->setFixedHeight(1);
        rule->setAttribute(Qt::WA_StyledBackground);
        separatorLayout->addWidget(rule, 1, Qt::AlignVCenter);
        if (i == 0)
            separatorLayout->addWidget(m_separatorText);
    }
    layout->addWidget(separator);

    layout->addWidget(buildEmailBlock());

    m_errorLabel = label(QString(), 11, "error", this);
    m_errorLabel->setWordWrap(true);
    layout->addWidget(m_errorLabel);

    m_notConfiguredLabel =
        label(QStringLiteral("（登录服务未配置：Credentials.supabaseURL 为空）"), 10, "secondary", this);
    m_notConfiguredLabel->setWordWrap(true);
    layout->addWidget(m_notConfiguredLabel);

    if (offerLater) {
        m_laterLink = makeLink(QStringLiteral("以后再说"));
        connect(m_laterLink, &QPushButton::clicked, this, &LoginView::cancelled);
        layout->addWidget(m_laterLink, 0, Qt::AlignHCenter);
    }
    layout->addStretch(1);
    layout->addSpacing(8);
}

QWidget* LoginView::buildWebButtons()
{
    m_webButtons = new QWidget(this);
    auto* layout = new QVBoxLayout(m_webButtons);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_appleButton = button(QStringLiteral("通过 Apple 登录"), "bordered", m_webButtons);
    m_googleButton = button(QStringLiteral("通过 Google 登录"), "bordered", m_webButtons);
    for (QPushButton* b : {m_appleButton, m_googleButton}) {
        b->setFixedHeight(controlHeight);
        layout->addWidget(b);
    }
    connect(m_appleButton, &QPushButton::clicked, this, [this] {
        m_errorDismissed = false;
        m_flow.startWebSignIn(QStringLiteral("apple"));
    });
    connect(m_googleButton, &QPushButton::clicked, this, [this] {
        m_errorDismissed = false;
        m_flow.startWebSignIn(QStringLiteral("google"));
    });
    return m_webButtons;
}

// Shown in place of the web buttons while the browser has the sign-in. The browser cannot tell
// us the user gave up, so the sheet offers the way out; where no browser could be opened, it
// offers the address to open in one by hand.
QWidget* LoginView::buildWaitingRow()
{
    m_waitingRow = new QWidget(this);
    auto* layout = new QVBoxLayout(m_waitingRow);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_waitingLabel = label(QStringLiteral("请在浏览器中完成登录…"), 12, "secondary", m_waitingRow);
    m_waitingLabel->setFixedHeight(controlHeight);
    m_copyAddressLink = makeLink(kCopyAddress);
    m_cancelWebLink = makeLink(QStringLiteral("取消"));
    auto* links = new QHBoxLayout;
    links->setSpacing(16);
    links->addStretch(1);
    links->addWidget(m_copyAddressLink);
    links->addWidget(m_cancelWebLink);
    links->addStretch(1);
    layout->addWidget(m_waitingLabel);
    layout->addLayout(links);
    connect(m_copyAddressLink, &QPushButton::clicked, this, [this] {
        if (const std::optional<QUrl>& address = m_flow.unopenedAddress()) {
            QGuiApplication::clipboard()->setText(address->toString(QUrl::FullyEncoded));
            m_copyAddressLink->setText(QStringLiteral("已复制"));
        }
    });
    connect(m_cancelWebLink, &QPushButton::clicked, this, [this] {
        m_errorDismissed = true;
        m_flow.cancelWebSignIn();
    });
    return m_waitingRow;
}

QWidget* LoginView::buildEmailBlock()
{
    auto* block = new QWidget(this);
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    const auto field = [block](const QString& placeholder) {
        auto* f = new QLineEdit(block);
        f->setPlaceholderText(placeholder);
        f->setFixedHeight(controlHeight);
        f->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
        return f;
    };
    const auto withSpinner = [](QPushButton* b, BusySpinner*& spinner) {
        b->setFixedHeight(controlHeight);
        auto* inner = new QHBoxLayout(b);
        inner->setContentsMargins(8, 0, 8, 0);
        spinner = new BusySpinner(b);
        inner->addWidget(spinner, 0, Qt::AlignVCenter);
        inner->addStretch(1);
    };

    m_emailField = field(QStringLiteral("邮箱地址"));
    m_sendButton = button(QStringLiteral("发送验证码"), "prominent", block);
    withSpinner(m_sendButton, m_sendSpinner);
    m_codeField = field(QStringLiteral("邮件里的 6 位验证码"));
    m_verifyButton = button(QStringLiteral("验证并登录"), "prominent", block);
    withSpinner(m_verifyButton, m_verifySpinner);
    m_resendLink = makeLink(QStringLiteral("重新发送验证码"));

    layout->addWidget(m_emailField);
    layout->addWidget(m_sendButton);
    layout->addWidget(m_codeField);
    layout->addWidget(m_verifyButton);
    layout->addWidget(m_resendLink, 0, Qt::AlignHCenter);

    connect(m_emailField, &QLineEdit::textChanged, this, &LoginView::updateControls);
    connect(m_codeField, &QLineEdit::textChanged, this, &LoginView::updateControls);
    const auto sendCode = [this] {
        m_errorDismissed = false;
        m_flow.sendCode(m_emailField->text());
    };
    connect(m_sendButton, &QPushButton::clicked, this, sendCode);
    connect(m_resendLink, &QPushButton::clicked, this, sendCode);
    connect(m_verifyButton, &QPushButton::clicked, this, [this] {
        m_errorDismissed = false;
        m_flow.verifyCode(m_emailField->text(), m_codeField->text());
    });
    return block;
}

QPushButton* LoginView::makeLink(const QString& text)
{
    QPushButton* link = button(text, "link", this);
    link->setFlat(true);
    link->setFont(DesignFonts::font(11));
    link->setCursor(Qt::PointingHandCursor);
    return link;
}

void LoginView::applyTheme()
{
    const ThemePalette& p = Theme::palette();
    const auto c = [](const ColorPair& pair) { return css(Theme::color(pair)); };
    setStyleSheet(QStringLiteral(R"(
        QLabel[role="primary"] { color: %1; }
        QLabel[role="secondary"] { color: %2; }
        QLabel[role="error"] { color: %3; }
        QWidget#rule { background: %4; }
        QLineEdit { background: %5; color: %1; border: 1px solid %4; border-radius: 5px; padding: 0 6px; }
        QPushButton[role="bordered"] { background: %5; color: %1; border: 1px solid %4; border-radius: 6px; }
        QPushButton[role="bordered"]:disabled { color: %6; }
        QPushButton[role="prominent"] { background: %7; color: %8; border: none; border-radius: 6px; }
        QPushButton[role="prominent"]:disabled { background: %9; }
        QPushButton[role="link"] { background: transparent; border: none; color: %7; padding: 0; }
        QPushButton[role="link"]:disabled { color: %6; }
    )")
                      .arg(c(p.text), c(p.textDim), c(p.red), c(p.hairline), c(p.bgCard), c(p.textFaint), c(p.accent),
                           c(p.onAccent), css(Theme::softAccent())));
    const QColor iconColor = Theme::color(p.text);
    m_appleButton->setIcon(symbol(QStringLiteral("applelogo"), iconColor));
    m_googleButton->setIcon(symbol(QStringLiteral("globe"), iconColor));
}

void LoginView::updateControls()
{
    const bool configured = m_flow.isConfigured();
    const bool busy = m_flow.isBusy();
    const bool codeSent = m_flow.isCodeSent();
    const bool webPending = m_flow.isWebSignInPending();
    setFixedSize(codeSent ? codeEntrySize : entrySize);

    m_webButtons->setVisible(!webPending);
    m_waitingRow->setVisible(webPending);
    // Where no browser opened, the error says so and waiting for one would not be true.
    const bool unopened = m_flow.unopenedAddress().has_value();
    m_waitingLabel->setVisible(!unopened);
    m_copyAddressLink->setVisible(unopened);
    if (!unopened)
        m_copyAddressLink->setText(kCopyAddress);
    m_appleButton->setEnabled(!busy && configured);
    m_googleButton->setEnabled(!busy && configured);

    m_sendButton->setVisible(!codeSent);
    m_sendButton->setEnabled(m_flow.canSendCode(m_emailField->text()));
    m_sendSpinner->setVisible(busy);
    m_codeField->setVisible(codeSent);
    m_verifyButton->setVisible(codeSent);
    m_verifyButton->setEnabled(m_flow.canVerifyCode(m_codeField->text()));
    m_verifySpinner->setVisible(busy);
    m_resendLink->setVisible(codeSent);
    m_resendLink->setEnabled(!busy);

    const std::optional<QString>& error = m_flow.errorText();
    m_errorLabel->setVisible(error.has_value() && !m_errorDismissed);
    m_errorLabel->setText(error.value_or(QString()));
    m_notConfiguredLabel->setVisible(!configured);
    if (m_laterLink)
        m_laterLink->setEnabled(!busy);
}

void LoginView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::color(Theme::palette().bg));
}

void LoginView::showEvent(QShowEvent* event)
{
    // The skin or the appearance may have changed since the sheet was last on screen.
    applyTheme();
    QWidget::showEvent(event);
}
