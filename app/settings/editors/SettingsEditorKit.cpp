#include "app/settings/editors/SettingsEditorKit.h"

#include "app/desktop/FnKeyHelpers.h"
#include "app/settings/editors/AppRulesEditor.h"
#include "app/settings/editors/CustomPrefsEditor.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyRecorderView.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/LexiconImportButton.h"
#include "app/settings/editors/RecentForeignApplication.h"

SettingsEditorKit::SettingsEditorKit(Parts parts, Controller controller, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_controller(std::move(controller))
    , m_capture(std::make_unique<HotkeyCaptureSession>(m_parts.hotkeys))
    , m_recent(std::make_unique<RecentForeignApplication>(m_parts.workspace))
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
    auto* row = new HotkeyRecorderView(m_parts.settings, *m_capture, role, parent);
    connect(row, &HotkeyRecorderView::keyboardSettingsRequested, this,
            [this] { FnKeyHelpers::openKeyboardSettings(m_parts.launcher); });
    return row;
}

QWidget* SettingsEditorKit::customPrefs(QWidget* parent)
{
    return new CustomPrefsEditor(m_parts.state, m_parts.customRules, parent);
}

QWidget* SettingsEditorKit::appRules(QWidget* parent)
{
    return new AppRulesEditor(m_parts.state, m_parts.settings, *m_recent, parent);
}

QWidget* SettingsEditorKit::styleProfile(QWidget* parent)
{
    return new StyleProfileView(m_parts.state, m_parts.data.styleProfile, m_controller.refreshStyleProfile, parent);
}

QWidget* SettingsEditorKit::lexicon(QWidget* parent)
{
    return new LexiconEditor(m_parts.state, *m_parts.data.lexicon, parent);
}

QWidget* SettingsEditorKit::lexiconImport(QWidget* parent)
{
    return new LexiconImportButton(m_parts.state, m_parts.data.lexicon, {}, parent);
}
