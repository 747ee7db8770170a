#include "app/shell/HistoryWindow.h"

#include "app/shell/OnboardingView.h"
#include "app/shell/PermissionRow.h"
#include "app/shell/SheetOverlay.h"

#include <QVBoxLayout>

HistoryWindow::HistoryWindow(HistoryView::Parts parts, bool onboarded, QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Murmo"));
    PermissionsModel& permissions = parts.permissions;
    PermissionProbes& probes = parts.probes;
    ProcessLauncher& launcher = parts.launcher;
    m_view = new HistoryView(std::move(parts), this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_view);
    resize(defaultSize);

    if (onboarded)
        return;
    auto* sheet = new OnboardingView(permissions);
    connect(sheet, &OnboardingView::done, this, &HistoryWindow::finishOnboarding);
    connect(sheet, &OnboardingView::requestGrant, this, [sheet, &probes, &launcher](MurmoPermission perm) {
        sheet->row(perm)->setHint(MurmoPermissions::requestWithHint(perm, probes, launcher));
    });
    connect(sheet, &OnboardingView::relaunchRequested, m_view, &HistoryView::relaunchRequested);
    m_onboarding = new SheetOverlay(sheet, this);
}

OnboardingView* HistoryWindow::onboarding() const
{
    return m_onboarding ? static_cast<OnboardingView*>(m_onboarding->sheet()) : nullptr;
}

void HistoryWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void HistoryWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (std::exchange(m_shown, true))
        return;
    Q_EMIT firstShown();
}

void HistoryWindow::finishOnboarding()
{
    // Hidden first, so the sheet's permission polling stops before it goes.
    m_onboarding->hide();
    m_onboarding->deleteLater();
    Q_EMIT onboardingDone();
}
