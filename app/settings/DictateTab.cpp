#include "app/settings/DictateTab.h"

#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/settings/SettingsBinding.h"
#include "app/settings/SettingsEditors.h"
#include "app/ui/ModeCapsulePicker.h"
#include "core/text/StyleMode.h"

#include <QCheckBox>

namespace {

// The cycle key is the user's to change or clear: the caption names the one that is set.
QString modeSwitchCaption(const Settings& settings)
{
    const std::optional<Hotkey> cycle = settings.hotkey(SettingKey::hkCycle);
    const QString byKey = cycle ? cycle->display() + QStringLiteral(" 循环 / ") : QString();
    return QStringLiteral("快速切换：主窗口选择 / ") + byKey + QStringLiteral("听写时以「书面模式」「聊天模式」开头");
}

} // namespace

DictateTab::DictateTab(AppState& state, Settings& settings, const SettingsEditors& editors, QWidget* parent)
    : SettingsForm(parent)
    , m_state(state)
    , m_settings(settings)
{
    buildDefaultMode();

    addEditor(*addSection(QStringLiteral("按 App 自动切换模式")), editors.appRules);

    SettingsSection* punctuation = addSection(QStringLiteral("标点与排版"));
    QWidget* card = punctuation->card();
    punctuation->addRow(
        SettingsBinding::toggle(m_settings, SettingKey::prefNoTrailingPeriod, QStringLiteral("句尾不加句号"), card));
    punctuation->addRow(SettingsBinding::toggle(m_settings, SettingKey::prefLineBreaks,
                                                QStringLiteral("适当多换行，提升可读性"), card));
    punctuation->addRow(SettingsBinding::toggle(m_settings, SettingKey::prefSpacesForCommas,
                                                QStringLiteral("允许用空格代替部分逗号"), card));
    addEditor(*punctuation, editors.customPrefs);

    SettingsSection* context = addSection(QStringLiteral("上下文感知"));
    card = context->card();
    context->addRow(SettingsBinding::toggle(m_settings, SettingKey::contextAwareness,
                                            QStringLiteral("参考当前 App 与窗口标题"), card));
    context->addRow(
        SettingsBinding::toggle(m_settings, SettingKey::contextReadText, QStringLiteral("参考光标附近的文字"), card));
    context->addCaption(
        QStringLiteral("结合屏幕上的信息，更准确地还原人名和术语。只读当前输入框附近，绝不截屏，可随时关闭。"));

    SettingsSection* compose = addSection(QStringLiteral("智能成文"));
    compose->addRow(SettingsBinding::toggle(m_settings, SettingKey::autoCompose, QStringLiteral("按当前 App 自动排版"),
                                            compose->card()));
    compose->addCaption(QStringLiteral("在邮件里排成邮件，在聊天框里排成短消息。只整理格式，绝不添加你没说的内容。"));

    SettingsSection* learn = addSection(QStringLiteral("自动学习"));
    learn->addRow(SettingsBinding::toggle(m_settings, SettingKey::autoLearnFromEdits,
                                          QStringLiteral("从我的修改中学习"), learn->card()));
    learn->addCaption(
        QStringLiteral("发送前把听错的词改对，Murmo会自动记住，下次更准。只学一两处小改动，可随时关闭。"));
}

void DictateTab::buildDefaultMode()
{
    SettingsSection* section = addSection(QStringLiteral("默认风格模式"));
    m_modePicker = new ModeCapsulePicker(section->card());
    m_modePicker->setObjectName(SettingsTable::row(SettingKey::currentModeId).name);
    connect(m_modePicker, &ModeCapsulePicker::picked, this,
            [this](const QString& id) { m_settings.setValue(SettingKey::currentModeId, id); });
    m_shownMode = m_settings.text(SettingKey::currentModeId);
    SettingsBinding::follow(m_settings, SettingKey::currentModeId, this, [this] { onModeChanged(); });
    section->addLabeled(QStringLiteral("新听写默认使用"), m_modePicker);
    CaptionLabel* switching = section->addCaption(QString());
    switching->setObjectName(QStringLiteral("modeSwitchCaption"));
    SettingsBinding::follow(m_settings, SettingKey::hkCycle, switching,
                            [this, switching] { switching->setText(modeSwitchCaption(m_settings)); });
}

void DictateTab::onModeChanged()
{
    const QString modeId = m_settings.text(SettingKey::currentModeId);
    m_modePicker->setSelection(modeId);
    // Reported only for a real change seen while the tab is on screen: opening the tab, or a
    // cycle hotkey pressed while another tab is shown, leaves the status line alone.
    const bool changed = modeId != m_shownMode;
    m_shownMode = modeId;
    if (changed && isVisible())
        m_state.setStatusLine(modeChangedLine(modeId));
}

QString DictateTab::modeChangedLine(const QString& modeId)
{
    const StyleMode* mode = StyleMode::byId(modeId);
    return QStringLiteral("已切换默认模式：") + (mode ? mode->name : modeId);
}
