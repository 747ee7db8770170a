#include "app/settings/editors/SettingsEditorKit.h"

#include "app/controller/AppServices.h"
#include "app/desktop/FnKeyHelpers.h"
#include "app/settings/editors/AppRulesEditor.h"
#include "app/settings/editors/CustomPrefsEditor.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyRecorderView.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/LexiconImportButton.h"
#include "app/settings/editors/RecentForeignApplication.h"

SettingsEditorKit::SettingsEditorKit(AppServices& app, Controller controller, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_controller(std::move(controller))
    , m_capture(std::make_unique<HotkeyCaptureSession>(app.hotkeys()))
    , m_recent(std::make_unique<RecentForeignApplication>(app.ports().workspace))
{}

SettingsEditorKit::~SettingsEditorKit() = default;

void SettingsEditorKit::activeWindowChanged()
{
    m_recent->noteActiveWindow();
}

SettingsEditors SettingsEditorKit::editors()
{
    SettingsEditors editors;
    editors.hotkeyRecorder = [this](const HotkeyRole& role, QWidget* parent) { return hotkeyRecorder(role, parent); };
    editors.appRules = [this](QWidget* parent) { return appRules(parent); };
    editors.customPrefs = [this](QWidget* parent) { return customPrefs(parent); };
    editors.lexicon = [this](QWidget* parent) { return lexicon(parent); };
    editors.lexiconImport = [this](QWidget* parent) { return lexiconImport(parent); };
    editors.styleProfile = [this](QWidget* parent) { return styleProfile(parent); };
    return editors;
}

QWidget* SettingsEditorKit::hotkeyRecorder(const HotkeyRole& role, QWidget* parent)
{
    auto* row = new HotkeyRecorderView(m_app.state(), *m_capture, role, parent);
    connect(row, &HotkeyRecorderView::clearRequested, this, [this](const QString& cleared) {
        if (m_controller.clearHotkey)
            m_controller.clearHotkey(cleared);
    });
    connect(row, &HotkeyRecorderView::keyboardSettingsRequested, this,
            [this] { FnKeyHelpers::openKeyboardSettings(m_app.ports().launcher); });
    return row;
}

QWidget* SettingsEditorKit::customPrefs(QWidget* parent)
{
    return new CustomPrefsEditor(m_app.state(), m_app.customRules(), parent);
}

QWidget* SettingsEditorKit::appRules(QWidget* parent)
{
    return new AppRulesEditor(m_app.state(), *m_recent, parent);
}

QWidget* SettingsEditorKit::styleProfile(QWidget* parent)
{
    return new StyleProfileView(m_app.state(), m_app.styleProfile(), m_controller.refreshStyleProfile, parent);
}

QWidget* SettingsEditorKit::lexicon(QWidget* parent)
{
    return new LexiconEditor(m_app.state(), *m_app.lexicon(), parent);
}

QWidget* SettingsEditorKit::lexiconImport(QWidget* parent)
{
    return new LexiconImportButton(m_app.state(), m_app.lexicon(), {}, parent);
}
