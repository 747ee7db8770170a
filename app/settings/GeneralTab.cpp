#include "app/settings/GeneralTab.h"

#include "app/controller/HotkeyRole.h"
#include "app/controller/Settings.h"
#include "app/desktop/PermissionsModel.h"
#include "app/settings/SettingsBinding.h"
#include "app/settings/SettingsEditors.h"
#include "app/shell/PermissionRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>

namespace {

// The chord keys switch a dictation in the first second of its recording (DictationKeys), not
// while the talk key is held, and every key is the user's to change: the caption names them.
QString captionText(const Settings& settings)
{
    const std::optional<Hotkey> talk = settings.hotkey(SettingKey::hkTalk);
    QString text =
        talk ? QStringLiteral("按主键 %1 听写。").arg(talk->display()) : QStringLiteral("设置主键后即可听写。");
    QStringList switches;
    for (const HotkeyRole& role : HotkeyRole::all()) {
        const std::optional<Hotkey> key = settings.hotkey(role.setting);
        if (!key || !isChordKey(role.use))
            continue;
        const QString needs = role.use == HotkeyUse::rewrite ? QStringLiteral("（先选中文字）") : QString();
        switches << key->display() + QLatin1Char(' ') + role.label + needs;
    }
    if (!switches.isEmpty())
        text += QStringLiteral("录音开始后一秒内按 %1，再按同一键回到听写。").arg(switches.join(QStringLiteral(" · ")));
    return text + QStringLiteral("按 Esc 取消。");
}

} // namespace

GeneralTab::GeneralTab(Settings& settings, PermissionsModel& perms, const SettingsEditors& editors, QWidget* parent)
    : SettingsForm(parent)
    , m_settings(settings)
    , m_perms(perms)
{
    buildPermissions();
    buildHotkeys(editors);
    buildTrigger();
    buildRecording();
}

void GeneralTab::buildPermissions()
{
    SettingsSection* section = addSection(QStringLiteral("权限"));
    for (MurmoPermission perm : MurmoPermissions::allCases()) {
        auto* row = new PermissionRow(perm, m_perms.isGranted(perm), section->card());
        row->setObjectName(MurmoPermissions::rawValue(perm));
        connect(row, &PermissionRow::requestGrant, this, &GeneralTab::requestGrant);
        section->addRow(row);
        m_rows.insert(perm, row);
    }

    m_relaunchRow = new QWidget(section->card());
    auto* layout = new QHBoxLayout(m_relaunchRow);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new CaptionLabel(QStringLiteral("开启「辅助技术」后，点这里重启生效"),
                                       CaptionLabel::Tone::Secondary, m_relaunchRow),
                      1, Qt::AlignVCenter);
    auto* relaunch = new QPushButton(QStringLiteral("重启Murmo"), m_relaunchRow);
    relaunch->setObjectName(QStringLiteral("relaunch"));
    connect(relaunch, &QPushButton::clicked, this, &GeneralTab::relaunchRequested);
    layout->addWidget(relaunch, 0, Qt::AlignVCenter);
    section->addRow(m_relaunchRow);

    connect(&m_perms, &PermissionsModel::grantedChanged, this, &GeneralTab::showPermissions);
    showPermissions();
}

void GeneralTab::showPermissions()
{
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        it.value()->setGranted(m_perms.isGranted(it.key()));
    m_relaunchRow->setVisible(!m_perms.isGranted(MurmoPermission::accessibility));
}

void GeneralTab::buildHotkeys(const SettingsEditors& editors)
{
    SettingsSection* section = addSection(QStringLiteral("快捷键"));
    if (editors.hotkeyRecorder) {
        for (const HotkeyRole& role : HotkeyRole::all())
            section->addRow(editors.hotkeyRecorder(role, section->card()));
    }
    m_hotkeyCaption = section->addCaption(captionText(m_settings));
    m_hotkeyCaption->setObjectName(QStringLiteral("hotkeyCaption"));
    connect(&m_settings, &Settings::changed, this, [this](SettingKey key) {
        if (HotkeyRole::bySetting(key))
            m_hotkeyCaption->setText(captionText(m_settings));
    });
}

void GeneralTab::buildTrigger()
{
    SettingsSection* section = addSection(QStringLiteral("触发方式"));
    section->addLabeled(
        QStringLiteral("听写触发"),
        SettingsBinding::choice(m_settings, SettingKey::recordTrigger,
                                {{QStringLiteral("轻点：点一下开始，再点一下出字"), QStringLiteral("toggle")},
                                 {QStringLiteral("按住：按住说，松开出字"), QStringLiteral("hold")}},
                                section->card()));
    section->addCaption(
        QStringLiteral("想用 Menu 键？在「听写主键」点设置、按一下 Menu 即可。若 Menu 仍会弹出右键菜单，"
                       "去系统设置 → 键盘，把 Menu 键改为「无操作」。"));
}

void GeneralTab::buildRecording()
{
    SettingsSection* section = addSection(QStringLiteral("录音"));
    QWidget* card = section->card();
    section->addRow(
        SettingsBinding::toggle(m_settings, SettingKey::showPartial, QStringLiteral("实时显示识别文字"), card));
    section->addCaption(QStringLiteral("录音时在浮层预览结果，文字可能随识别微调。"));
    section->addLabeled(
        QStringLiteral("单次录音上限"),
        SettingsBinding::choice(
            m_settings, SettingKey::maxRecordMinutes,
            {{QStringLiteral("5 分钟"), 5}, {QStringLiteral("8 分钟"), 8}, {QStringLiteral("15 分钟"), 15}}, card));
    section->addRow(SettingsBinding::toggle(m_settings, SettingKey::quietBoost, QStringLiteral("轻声增强"), card));
    section->addCaption(QStringLiteral("小声说话自动增强，轻声也能听清。"));
    section->addRow(
        SettingsBinding::toggle(m_settings, SettingKey::duckOthers, QStringLiteral("听写时降低其他声音"), card));
    section->addCaption(QStringLiteral("录音时调低音乐和视频的音量，结束后恢复。"));
}

void GeneralTab::applyTheme()
{
    SettingsForm::applyTheme();
    for (PermissionRow* row : std::as_const(m_rows))
        row->applyTheme();
}
