#include "app/settings/SettingsWindow.h"

#include "app/account/LoginView.h"
#include "app/controller/AppState.h"
#include "app/desktop/PermissionsModel.h"
#include "app/settings/AppearanceTab.h"
#include "app/settings/DictateTab.h"
#include "app/settings/GeneralTab.h"
#include "app/settings/LexiconTab.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"
#include "core/account/SignInFlow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QPainter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QIcon symbolIcon(const QString& name)
{
    if (!SymbolIcon::exists(name))
        return {};
    QPixmap pixmap(QSize(32, 32));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    SymbolIcon::paint(painter, name, QRectF(2, 2, 28, 28), Theme::color(Theme::palette().textDim));
    return QIcon(pixmap);
}

QPalette themedPalette(QPalette palette)
{
    const ThemePalette& skin = Theme::palette();
    palette.setColor(QPalette::Window, Theme::color(skin.bg));
    palette.setColor(QPalette::WindowText, Theme::color(skin.text));
    palette.setColor(QPalette::Base, Theme::color(skin.bgCard));
    palette.setColor(QPalette::AlternateBase, Theme::color(skin.bgSub));
    palette.setColor(QPalette::Text, Theme::color(skin.text));
    palette.setColor(QPalette::Button, Theme::color(skin.bgSub));
    palette.setColor(QPalette::ButtonText, Theme::color(skin.text));
    palette.setColor(QPalette::Highlight, Theme::color(skin.accent));
    palette.setColor(QPalette::HighlightedText, Theme::color(skin.onAccent));
    palette.setColor(QPalette::PlaceholderText, Theme::color(skin.textFaint));
    palette.setColor(QPalette::ToolTipBase, Theme::color(skin.bgCard));
    palette.setColor(QPalette::ToolTipText, Theme::color(skin.text));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Theme::color(skin.textFaint));
    palette.setColor(QPalette::Disabled, QPalette::Text, Theme::color(skin.textFaint));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, Theme::color(skin.textFaint));
    return palette;
}

} // namespace

SettingsWindow::SettingsWindow(Parts parts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_parts(std::move(parts))
    , m_perms(std::make_unique<PermissionsModel>(m_parts.probes))
    , m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Murmo · 设置"));
    setMinimumSize(minimumWindowSize);
    resize(initialWindowSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->addWidget(m_tabs);
    m_tabs->setDocumentMode(true);

    AppState& state = m_parts.state;
    if (m_parts.signIn && m_parts.signIn->isConfigured() && m_parts.session) {
        m_account = new AccountTab(*m_parts.session, m_parts.gatewayURL, m_tabs);
        connect(m_account, &AccountTab::signInRequested, this, &SettingsWindow::showSignIn);
        addTab(m_account, QStringLiteral("账户"), QStringLiteral("person.crop.circle"));
    }
    m_general = new GeneralTab(m_parts.settings, *m_perms, m_parts.editors, m_tabs);
    connect(m_general, &GeneralTab::requestGrant, this, &SettingsWindow::requestGrant);
    connect(m_general, &GeneralTab::relaunchRequested, this, &SettingsWindow::relaunchRequested);
    addTab(m_general, QStringLiteral("通用"), QStringLiteral("gearshape"));
    m_dictate = new DictateTab(state, m_parts.settings, m_parts.editors, m_tabs);
    addTab(m_dictate, QStringLiteral("听写"), QStringLiteral("text.bubble"));
    m_appearance = new AppearanceTab(m_parts.settings, m_parts.sounds, m_tabs);
    addTab(m_appearance, QStringLiteral("外观"), QStringLiteral("paintpalette"));
    m_lexicon = new LexiconTab(m_parts.editors, m_tabs);
    addTab(m_lexicon, QStringLiteral("词库"), QStringLiteral("character.book.closed"));

    connect(&state, &AppState::themeVersionChanged, this, &SettingsWindow::applyTheme);
    applyTheme();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::addTab(SettingsForm* tab, const QString& title, const QString& symbol)
{
    m_tabs->addTab(tab, title);
    m_forms.append(tab);
    m_symbols.append(symbol);
}

QStringList SettingsWindow::tabTitles() const
{
    QStringList titles;
    for (int i = 0; i < m_tabs->count(); ++i)
        titles.append(m_tabs->tabText(i));
    return titles;
}

void SettingsWindow::applyTheme()
{
    setPalette(themedPalette(palette()));
    setAutoFillBackground(true);
    // A choice box's list opens as a window of its own, which would take the desktop's menu
    // colours: it is given this window's.
    for (QComboBox* choice : findChildren<QComboBox*>())
        choice->view()->setPalette(palette());
    // The symbols are drawn in the skin's colours, so they are drawn again with it.
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabIcon(i, symbolIcon(m_symbols[i]));
    for (SettingsForm* form : std::as_const(m_forms))
        form->applyTheme();
    update();
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Opening the window must not put the cursor in a text field of the first tab.
    QTimer::singleShot(0, this, [this] {
        if (QWidget* focused = focusWidget())
            focused->clearFocus();
    });
}

void SettingsWindow::showSignIn()
{
    if (m_sheet || !m_parts.signIn)
        return;
    // A sheet of this window: modal to it, nothing to minimise or maximise, "以后再说" to leave.
    m_sheet = new QDialog(this, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_sheet->setWindowModality(Qt::WindowModal);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto* login = new LoginView(*m_parts.signIn, true, m_sheet);
    auto* layout = new QVBoxLayout(m_sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(login);
    connect(login, &LoginView::done, this, &SettingsWindow::closeSignIn);
    connect(login, &LoginView::cancelled, this, &SettingsWindow::closeSignIn);
    // Closing the sheet by the window manager counts as cancelling it.
    connect(m_sheet, &QDialog::finished, this, [this] { m_sheet = nullptr; });
    m_sheet->show();
}

void SettingsWindow::closeSignIn()
{
    if (m_sheet) {
        QDialog* sheet = m_sheet;
        m_sheet = nullptr;
        sheet->close();
    }
}
