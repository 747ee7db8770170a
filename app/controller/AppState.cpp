#include "app/controller/AppState.h"

#include "app/controller/HotkeyRole.h"
#include "app/controller/Settings.h"
#include "platform/KeyEvent.h"

#include <utility>

AppState::AppState(Settings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{}

void AppState::setRecording(bool recording)
{
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    Q_EMIT isRecordingChanged(recording);
}

void AppState::setStatusLine(const QString& line)
{
    m_noticeShown = false;
    if (m_statusLine == line)
        return;
    m_statusLine = line;
    Q_EMIT statusLineChanged(line);
}

void AppState::showNotice(const QString& line)
{
    setStatusLine(line);
    m_noticeShown = true;
}

bool AppState::reportInBackground(const QString& line)
{
    if (m_isRecording || m_noticeShown)
        return false;
    setStatusLine(line);
    return true;
}

void AppState::bumpHistoryVersion()
{
    Q_EMIT historyVersionChanged(++m_historyVersion);
}

void AppState::setHotkeysActive(bool active)
{
    // A first start that fails changes nothing but what the windows show.
    if (std::exchange(m_hotkeysStarted, true) && m_hotkeysActive == active)
        return;
    m_hotkeysActive = active;
    Q_EMIT hotkeysActiveChanged(active);
}

void AppState::bumpThemeVersion()
{
    Q_EMIT themeVersionChanged(++m_themeVersion);
}

void AppState::setShowLoginGate(bool show)
{
    if (m_showLoginGate == show)
        return;
    m_showLoginGate = show;
    Q_EMIT showLoginGateChanged(show);
}

QString AppState::readyStatusLine() const
{
    if (hotkeysFailed())
        return QStringLiteral("⚠️ 快捷键未生效——按窗口顶部提示处理即可恢复");
    const std::optional<Hotkey> talk = m_settings.hotkey(SettingKey::hkTalk);
    if (!talk)
        return QStringLiteral("就绪 · 先去设置里设一个听写键");
    const QString display = talk->display();
    if (m_settings.text(SettingKey::recordTrigger) == QLatin1String("hold"))
        return QStringLiteral("就绪 · 按住 ") + display + QStringLiteral(" 听写");
    return QStringLiteral("就绪 · 按 ") + display + QStringLiteral(" 听写，再按一下出字");
}

bool AppState::hasFnHotkey() const
{
    for (const HotkeyRole& role : HotkeyRole::all()) {
        const std::optional<Hotkey> hotkey = m_settings.hotkey(role.setting);
        if (hotkey && hotkey->keyCode == KeyCode::menu && hotkey->modifiers == 0 && hotkey->isModifierOnly)
            return true;
    }
    return false;
}

StylePreferences AppState::preferences() const
{
    StylePreferences preferences;
    preferences.noTrailingPeriod = m_settings.flag(SettingKey::prefNoTrailingPeriod);
    preferences.preferLineBreaks = m_settings.flag(SettingKey::prefLineBreaks);
    preferences.spacesForCommas = m_settings.flag(SettingKey::prefSpacesForCommas);
    preferences.customNotes = m_settings.text(SettingKey::prefCustomNotes);
    return preferences;
}
