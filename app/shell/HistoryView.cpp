#include "app/shell/HistoryView.h"

#include "app/controller/AppState.h"
#include "app/controller/HotkeyStatus.h"
#include "app/controller/Settings.h"
#include "app/desktop/FnKeyHelpers.h"
#include "app/desktop/PermissionsModel.h"
#include "app/shell/EmptyTeachingState.h"
#include "app/shell/EntryAction.h"
#include "app/shell/FilterPill.h"
#include "app/shell/FirstFrame.h"
#include "app/shell/FnKeyConflictBanner.h"
#include "app/shell/HistoryHeader.h"
#include "app/shell/HistoryListModel.h"
#include "app/shell/HistoryListView.h"
#include "app/shell/HistoryStatusBar.h"
#include "app/shell/PermissionBanner.h"
#include "app/shell/SheetOverlay.h"
#include "app/shell/ShellBanner.h"
#include "app/shell/ThemedSurface.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/FittedScrollArea.h"
#include "app/ui/ModeCapsulePicker.h"
#include "app/ui/Theme.h"
#include "core/async/ContinueOn.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

struct PillSpec
{
    const char* title;
    std::optional<QString> action;
};

const QList<PillSpec>& pillSpecs()
{
    static const QList<PillSpec> specs{{"全部", std::nullopt},
                                       {"听写", HistoryEntry::kDictate},
                                       {"翻译", HistoryEntry::kTranslate},
                                       {"提问", HistoryEntry::kAsk},
                                       {"改写", HistoryEntry::kRewrite}};
    return specs;
}

} // namespace

HistoryView::HistoryView(Parts parts, QWidget* parent)
    : QWidget(parent)
    , m_parts(std::move(parts))
    , m_model(std::make_unique<HistoryListModel>())
{
    if (!m_parts.reveal)
        m_parts.reveal = [&launcher = m_parts.launcher](const QString& path) {
            return FileReveal::reveal(path, launcher);
        };
    if (!m_parts.fnKeyHijacksSystem)
        m_parts.fnKeyHijacksSystem = FnKeyHelpers::fnKeyHijacksSystem;
    setMinimumSize(minimumWidth, minimumHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The banners sit on the window background like the list below them, each as tall as its
    // width needs; when they outgrow their share of a short window they scroll.
    m_bannerArea = new FittedScrollArea(this);
    auto* banners = new ThemedSurface(ThemedSurface::Kind::background);
    auto* bannerColumn = new QVBoxLayout(banners);
    bannerColumn->setContentsMargins(0, 0, 0, 0);
    bannerColumn->setSpacing(0);
    buildBanners(bannerColumn);
    m_bannerArea->setContent(banners);
    column->addWidget(m_bannerArea);

    m_header = new HistoryHeader(this);
    connect(m_header, &HistoryHeader::settingsRequested, this, &HistoryView::settingsRequested);
    column->addWidget(m_header);
    m_filterBar = buildFilterBar();
    column->addWidget(m_filterBar);

    m_pages = new QStackedWidget(this);
    m_list = new HistoryListView(
        *m_model, m_parts.history, m_parts.audio, m_parts.actions, [this](const QString& path) { reveal(path); },
        m_parts.clock, m_pages);
    m_pages->addWidget(m_list);
    auto* emptyPage = new ThemedSurface(ThemedSurface::Kind::background, m_pages);
    auto* emptyColumn = new QVBoxLayout(emptyPage);
    emptyColumn->setContentsMargins(0, 0, 0, 0);
    m_empty = new EmptyTeachingState(emptyPage);
    emptyColumn->addWidget(m_empty);
    m_pages->addWidget(emptyPage);
    auto* noMatchPage = new ThemedSurface(ThemedSurface::Kind::background, m_pages);
    auto* noMatchColumn = new QVBoxLayout(noMatchPage);
    noMatchColumn->setContentsMargins(16, 90, 16, 16);
    m_noMatch = new QLabel(QStringLiteral("这一类还没有记录"), noMatchPage);
    m_noMatch->setFont(DesignFonts::subheadline());
    m_noMatch->setAlignment(Qt::AlignHCenter);
    noMatchColumn->addWidget(m_noMatch);
    noMatchColumn->addStretch(1);
    m_pages->addWidget(noMatchPage);
    column->addWidget(m_pages, 1);

    m_statusBar = new HistoryStatusBar(this);
    column->addWidget(m_statusBar);

    AppState& state = m_parts.state;
    connect(&state, &AppState::historyVersionChanged, this, &HistoryView::reload);
    // The history is read on the store's worker and shown as soon as it is: before the first
    // reload below, so that a load finishing in between is not missed.
    connect(&m_parts.history, &HistoryStore::loaded, this, &HistoryView::reload);
    connect(&state, &AppState::themeVersionChanged, this, &HistoryView::applyTheme);
    connect(&state, &AppState::hotkeysActiveChanged, this, [this] {
        m_hotkeysBanner->setVisible(m_parts.state.hotkeysFailed());
        refreshHint();
    });
    connect(&state, &AppState::statusLineChanged, m_statusBar, &HistoryStatusBar::setStatusLine);
    connect(&m_parts.settings, &Settings::changed, this, [this](SettingKey key) {
        if (key == SettingKey::hkTalk || key == SettingKey::recordTrigger)
            triggerChanged();
    });
    connect(&state, &AppState::showLoginGateChanged, this, &HistoryView::loginGateChanged);
    reload();
    applyTheme();
    if (state.showLoginGate())
        loginGateChanged(true);
    // The mode picker, the lexicon's line and the status line (which fades in from nothing) cost the
    // start a few milliseconds of type before the window can show, and its first frame does without
    // them: they come just after it.
    FirstFrame::after(this, {[this] { buildModePicker(); }, [this] { m_statusBar->showLexicon(m_parts.lexicon); },
                             [this] { m_statusBar->setStatusLine(m_parts.state.statusLine()); }});
}

HistoryView::~HistoryView()
{
    // The list refers to the model; it goes first.
    delete m_pages;
}

void HistoryView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_statusBar)
        return;
    // The list keeps room for a card or so; the banners have the rest.
    const int bars =
        m_header->sizeHint().height() + m_filterBar->sizeHint().height() + m_statusBar->sizeHint().height();
    m_bannerArea->setHeightLimit(height() - bars - listFloor);
}

void HistoryView::buildBanners(QLayout* column)
{
    m_permissionBanner = new PermissionBanner(m_parts.permissions, m_parts.probes, m_parts.launcher, this);
    column->addWidget(m_permissionBanner);

    AppState& state = m_parts.state;
    ProcessLauncher& launcher = m_parts.launcher;
    m_fnBanner = new FnKeyConflictBanner([&state] { return state.hasFnHotkey(); }, m_parts.fnKeyHijacksSystem,
                                         [this, &launcher] { FnKeyHelpers::fixFnKeyOneClick(launcher, window()); },
                                         m_parts.clock, this);
    column->addWidget(m_fnBanner);

    m_installBanner = new ShellBanner(&ThemePalette::red, QStringLiteral("exclamationmark.triangle.fill"), QString(),
                                      QFont::DemiBold, 16, this);
    if (m_parts.installWarning) {
        m_installBanner->setTitle(m_parts.installWarning->title);
        m_installBanner->setDetail(m_parts.installWarning->detail);
    }
    connect(m_installBanner->addButton(QStringLiteral("在文件管理器中显示")), &QPushButton::clicked, this,
            [this] { reveal(m_parts.programPath); });
    m_installBanner->setVisible(m_parts.installWarning.has_value());
    column->addWidget(m_installBanner);

    m_hotkeysBanner = new ShellBanner(&ThemePalette::warn, QStringLiteral("keyboard.badge.ellipsis"),
                                      HotkeyStatus::kInactiveAdvice, QFont::Normal, 16, this);
    // The settings, where the hotkeys are changed and a key another program holds is flagged.
    connect(m_hotkeysBanner->addButton(QStringLiteral("打开设置")), &QPushButton::clicked, this,
            &HistoryView::settingsRequested);
    connect(m_hotkeysBanner->addButton(QStringLiteral("重试")), &QPushButton::clicked, this,
            &HistoryView::retryHotkeysRequested);
    connect(m_hotkeysBanner->addButton(QStringLiteral("重启Murmo")), &QPushButton::clicked, this,
            &HistoryView::relaunchRequested);
    column->addWidget(m_hotkeysBanner);
    // Hidden before the banner area first measures its content: a banner that does not show
    // costs the start no text layout.
    m_hotkeysBanner->setVisible(m_parts.state.hotkeysFailed());
}

void HistoryView::buildModePicker()
{
    auto* picker = new ModeCapsulePicker;
    m_header->setModePicker(picker);
    connect(picker, &ModeCapsulePicker::picked, this, &HistoryView::chooseMode);
    // The default mode also changes in the settings window and by the cycle hotkey.
    Settings& settings = m_parts.settings;
    picker->setSelection(settings.text(SettingKey::currentModeId));
    connect(&settings, &Settings::changed, picker, [picker, &settings](SettingKey key) {
        if (key == SettingKey::currentModeId)
            picker->setSelection(settings.text(SettingKey::currentModeId));
    });
}

QWidget* HistoryView::buildFilterBar()
{
    auto* bar = new ThemedSurface(ThemedSurface::Kind::bar, this);
    bar->setBottomHairline(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 9, 16, 10);
    row->setSpacing(8);
    for (const PillSpec& spec : pillSpecs()) {
        auto* pill = new FilterPill(QString::fromUtf8(spec.title), spec.action, bar);
        connect(pill, &QAbstractButton::clicked, this, [this, action = spec.action] { setHistoryFilter(action); });
        m_pills.append(pill);
        row->addWidget(pill);
    }
    row->addStretch(1);
    return bar;
}

const std::optional<QString>& HistoryView::historyFilter() const
{
    return m_model->filter();
}

void HistoryView::setHistoryFilter(const std::optional<QString>& action)
{
    if (action == m_model->filter())
        return;
    // The model resets, and the list starts again from the newest entry.
    m_model->setFilter(action);
    refreshPills();
    refreshPage();
}

void HistoryView::chooseMode(const QString& modeId)
{
    Settings& settings = m_parts.settings;
    if (settings.text(SettingKey::currentModeId) == modeId)
        return;
    settings.setValue(SettingKey::currentModeId, modeId);
    m_parts.state.setStatusLine(QStringLiteral("已切换默认模式：") + EntryAction::modeName(modeId));
}

void HistoryView::reveal(const QString& path)
{
    continueOn(m_parts.reveal(path), this, [this, path](bool shown) {
        if (shown)
            return;
        QGuiApplication::clipboard()->setText(path);
        m_parts.state.setStatusLine(QStringLiteral("未找到文件管理器：路径已复制，可粘贴到终端或文件对话框里打开"));
    });
}

FilterPill* HistoryView::pill(const std::optional<QString>& action) const
{
    for (FilterPill* pill : m_pills) {
        if (pill->action() == action)
            return pill;
    }
    return nullptr;
}

QWidget* HistoryView::currentPage() const
{
    QWidget* page = m_pages->currentWidget();
    if (page == m_list)
        return m_list;
    return page->isAncestorOf(m_empty) ? static_cast<QWidget*>(m_empty) : m_noMatch;
}

QWidget* HistoryView::loginSheet() const
{
    return m_loginOverlay ? m_loginOverlay->sheet() : nullptr;
}

void HistoryView::reload()
{
    m_model->setEntries(m_parts.history.all());
    refreshPills();
    refreshPage();
    refreshHint();
}

void HistoryView::refreshPills()
{
    for (FilterPill* pill : std::as_const(m_pills))
        pill->setState(pill->action() == m_model->filter(), m_model->count(pill->action()));
}

void HistoryView::refreshPage()
{
    // A history still being read is not an empty one: the list waits for it, rather than teach.
    if (m_model->rowCount() > 0 || (m_model->historyEmpty() && !m_parts.history.isLoaded()))
        m_pages->setCurrentIndex(0);
    else
        m_pages->setCurrentIndex(m_model->historyEmpty() ? 1 : 2);
}

void HistoryView::refreshHint()
{
    const Settings& settings = m_parts.settings;
    const std::optional<Hotkey> talk = settings.hotkey(SettingKey::hkTalk);
    const QString trigger = settings.text(SettingKey::recordTrigger);
    m_statusBar->setHint(HistoryStatusBar::triggerHint(!m_parts.state.hotkeysFailed(), talk, trigger));
    m_empty->setHotkey(talk, trigger);
    m_readyLine = m_parts.state.readyStatusLine();
}

void HistoryView::triggerChanged()
{
    // A ready line still on show names the old key or way of pressing it.
    AppState& state = m_parts.state;
    if (state.statusLine() == m_readyLine)
        state.setStatusLine(state.readyStatusLine());
    refreshHint();
}

void HistoryView::applyTheme()
{
    QPalette colours = m_noMatch->palette();
    colours.setColor(QPalette::WindowText, Theme::color(Theme::palette().textFaint));
    m_noMatch->setPalette(colours);
    m_permissionBanner->applyTheme();
    m_fnBanner->applyTheme();
    m_installBanner->applyTheme();
    m_hotkeysBanner->applyTheme();
    m_header->applyTheme();
    m_list->applyTheme();
    m_empty->applyTheme();
    m_statusBar->applyTheme();
    for (QWidget* widget : findChildren<QWidget*>())
        widget->update();
}

void HistoryView::showLoginSheet(QWidget* sheet)
{
    delete m_loginOverlay;
    if (!m_parts.state.showLoginGate()) {
        delete sheet;
        return;
    }
    m_loginOverlay = new SheetOverlay(sheet, this);
    m_loginOverlay->show();
}

void HistoryView::loginGateChanged(bool shown)
{
    if (shown) {
        Q_EMIT loginRequested();
        return;
    }
    delete m_loginOverlay;
}
