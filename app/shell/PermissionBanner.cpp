#include "app/shell/PermissionBanner.h"

#include "app/desktop/PermissionsModel.h"
#include "app/shell/ShellBanner.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int outerHorizontal = 12;

} // namespace

// Nothing here is timed: the model announces changes.
PermissionBanner::PermissionBanner(PermissionsModel& permissions, PermissionProbes& probes, ProcessLauncher& launcher,
                                   QWidget* parent)
    : QWidget(parent)
    , m_permissions(permissions)
    , m_probes(probes)
    , m_launcher(launcher)
    , m_mic(new ShellBanner(&ThemePalette::warn, QStringLiteral("mic.slash.fill"),
                            MurmoPermissions::missingWarning(MurmoPermission::microphone), QFont::Normal,
                            outerHorizontal, this))
    , m_accessibility(new ShellBanner(&ThemePalette::warn, QStringLiteral("keyboard.badge.ellipsis"),
                                      MurmoPermissions::missingWarning(MurmoPermission::accessibility), QFont::Normal,
                                      outerHorizontal, this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_mic);
    column->addWidget(m_accessibility);
    // Nothing asks about a microphone here: a missing one is a device to plug in or unmute.
    connect(m_mic->addButton(QStringLiteral("打开声音设置")), &QPushButton::clicked, this,
            [this] { request(MurmoPermission::microphone); });
    connect(m_accessibility->addButton(QStringLiteral("去授权")), &QPushButton::clicked, this,
            [this] { request(MurmoPermission::accessibility); });
    m_mic->hide();
    m_accessibility->hide();
    connect(&m_permissions, &PermissionsModel::grantedChanged, this, &PermissionBanner::showFlags);
}

PermissionBanner::~PermissionBanner() = default;

ShellBanner* PermissionBanner::strip(MurmoPermission permission) const
{
    return permission == MurmoPermission::microphone ? m_mic : m_accessibility;
}

void PermissionBanner::request(MurmoPermission permission)
{
    strip(permission)->setDetail(MurmoPermissions::requestWithHint(permission, m_probes, m_launcher));
    // Switching the bus on may be all it took.
    refresh();
}

void PermissionBanner::applyTheme()
{
    m_mic->applyTheme();
    m_accessibility->applyTheme();
}

void PermissionBanner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void PermissionBanner::refresh()
{
    m_permissions.refresh();
    m_checked = true;
    showFlags();
}

void PermissionBanner::showFlags()
{
    if (!m_checked)
        return;
    // Until the model's first answer (the accessibility one comes from a worker, and the first
    // look may wait for the window's first frame) a strip stays as it was, and a later answer
    // that differs arrives as a change.
    if (m_permissions.granted().contains(MurmoPermission::microphone))
        m_micGranted = m_permissions.isGranted(MurmoPermission::microphone);
    if (m_permissions.granted().contains(MurmoPermission::accessibility))
        m_axTrusted = m_permissions.isGranted(MurmoPermission::accessibility);
    m_mic->setVisible(!m_micGranted);
    m_accessibility->setVisible(!m_axTrusted);
}
