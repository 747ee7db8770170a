#pragma once

#include "app/desktop/MurmoPermission.h"
#include "app/shell/FileReveal.h"
#include "app/shell/InstallLocation.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class AppState;
class AudioPreview;
class Clock;
class EmptyTeachingState;
class FilterPill;
class FittedScrollArea;
class FnKeyConflictBanner;
class HistoryEntryActions;
class HistoryHeader;
class HistoryListModel;
class HistoryListView;
class HistoryStatusBar;
class HistoryStore;
class Lexicon;
class PermissionBanner;
class PermissionProbes;
class PermissionsModel;
class ProcessLauncher;
class QLabel;
class QStackedWidget;
class ShellBanner;
class Settings;
class SheetOverlay;

// The main window's content: the banners, the header, the filter bar, the list of history cards
// (or what an empty list teaches) and the status bar. It reads the controller and rereads the
// stores whenever the controller's history counter moves; what it cannot do itself (open the
// settings, retry the hotkeys, relaunch, sign in) it asks for through its signals.
class HistoryView : public QWidget
{
    Q_OBJECT

public:
    // What the view works with; all outlive it.
    struct Parts
    {
        AppState& state;
        Settings& settings;
        HistoryStore& history;
        Lexicon& lexicon;
        PermissionsModel& permissions;
        PermissionProbes& probes;
        ProcessLauncher& launcher;
        AudioPreview& audio;
        HistoryEntryActions& actions;
        Clock& clock;
        // Empty: FileReveal::reveal through the launcher.
        FileReveal::Function reveal;
        // Whether the desktop gives the Fn key a function of its own; empty: the desktop's answer.
        std::function<bool()> fnKeyHijacksSystem;
        // The install-location warning, fixed for the life of the process.
        std::optional<InstallLocation::Warning> installWarning;
        // The running program, which the install banner shows in the file manager.
        QString programPath;
    };

    static constexpr int minimumWidth = 560;
    static constexpr int minimumHeight = 420;
    // The height the list keeps when the banners want more than the window has.
    static constexpr int listFloor = 140;

    explicit HistoryView(Parts parts, QWidget* parent = nullptr);
    ~HistoryView() override;

    const std::optional<QString>& historyFilter() const;
    void setHistoryFilter(const std::optional<QString>& action);

    // The header's mode picker reports a choice here: a different mode becomes the default and
    // the status line says so; choosing the current one changes nothing.
    void chooseMode(const QString& modeId);

    // Shows the sign-in sheet while the controller's sign-in gate is set; the sheet is dropped
    // when the gate clears. The view owns it.
    void showLoginSheet(QWidget* sheet);

    HistoryListModel& model() const { return *m_model; }
    HistoryListView* list() const { return m_list; }
    HistoryHeader* header() const { return m_header; }
    HistoryStatusBar* statusBar() const { return m_statusBar; }
    EmptyTeachingState* emptyState() const { return m_empty; }
    QLabel* noMatchLabel() const { return m_noMatch; }
    PermissionBanner* permissionBanner() const { return m_permissionBanner; }
    FnKeyConflictBanner* fnBanner() const { return m_fnBanner; }
    ShellBanner* installBanner() const { return m_installBanner; }
    ShellBanner* hotkeysBanner() const { return m_hotkeysBanner; }
    FilterPill* pill(const std::optional<QString>& action) const;
    QWidget* currentPage() const;
    QWidget* loginSheet() const;

    FittedScrollArea* bannerArea() const { return m_bannerArea; }

Q_SIGNALS:
    void settingsRequested();
    void retryHotkeysRequested();
    void relaunchRequested();
    // The sign-in gate was set: the owner answers with showLoginSheet().
    void loginRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildBanners(QLayout* column);
    void buildModePicker();
    QWidget* buildFilterBar();
    void reload();
    void refreshPills();
    void refreshPage();
    void refreshHint();
    void triggerChanged();
    void applyTheme();
    void loginGateChanged(bool shown);
    // Shows a file in the file manager; where none could, its path goes on the clipboard and the
    // status line says so.
    void reveal(const QString& path);

    Parts m_parts;
    std::unique_ptr<HistoryListModel> m_model;
    FittedScrollArea* m_bannerArea = nullptr;
    QWidget* m_filterBar = nullptr;
    PermissionBanner* m_permissionBanner = nullptr;
    FnKeyConflictBanner* m_fnBanner = nullptr;
    ShellBanner* m_installBanner = nullptr;
    ShellBanner* m_hotkeysBanner = nullptr;
    HistoryHeader* m_header = nullptr;
    QList<FilterPill*> m_pills;
    QStackedWidget* m_pages = nullptr;
    HistoryListView* m_list = nullptr;
    EmptyTeachingState* m_empty = nullptr;
    QLabel* m_noMatch = nullptr;
    HistoryStatusBar* m_statusBar = nullptr;
    QPointer<SheetOverlay> m_loginOverlay;
    // The ready line as the hint was last drawn, to tell it from other status lines.
    QString m_readyLine;
};
