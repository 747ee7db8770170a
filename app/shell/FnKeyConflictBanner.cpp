#include "app/shell/FnKeyConflictBanner.h"

#include "app/shell/ShellBanner.h"

#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

FnKeyConflictBanner::FnKeyConflictBanner(std::function<bool()> hasFnHotkey, std::function<bool()> hijacked,
                                         std::function<void()> fix, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_hasFnHotkey(std::move(hasFnHotkey))
    , m_hijacked(std::move(hijacked))
    , m_fix(std::move(fix))
    , m_clock(clock)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    recheck();
}

FnKeyConflictBanner::~FnKeyConflictBanner()
{
    stop();
}

void FnKeyConflictBanner::recheck()
{
    // The desktop's setting is read only when a hotkey could be taken by it.
    m_conflict = m_hasFnHotkey() && m_hijacked();
    // Built the first time it shows: its texts would cost every start a few fonts' loading for a
    // banner that on most desktops never shows.
    if (m_conflict && !m_strip)
        buildStrip();
    if (m_strip)
        m_strip->setVisible(m_conflict);
}

void FnKeyConflictBanner::buildStrip()
{
    m_strip = new ShellBanner(&ThemePalette::warn, QStringLiteral("globe"),
                              QStringLiteral("已替你把🌐键设为「无操作」——Fn 可直接当听写键"), QFont::Medium, 12, this);
    m_strip->setDetail(QStringLiteral("这是桌面系统的行为，只能改系统设置来关闭；Murmo已替你改好，通常立刻生效。"
                                      "若 Fn 仍弹出表情或切换输入法，点「再设一次」，或重启电脑兜底。"));
    connect(m_strip->addButton(QStringLiteral("再设一次")), &QPushButton::clicked, this, [this] { m_fix(); });
    layout()->addWidget(m_strip);
}

void FnKeyConflictBanner::applyTheme()
{
    if (m_strip)
        m_strip->applyTheme();
}

void FnKeyConflictBanner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    stop();
    recheck();
    // Looked at again only to see a shown conflict go; without one nothing wakes the idle
    // program (on Linux the desktop never takes the key, and a new conflict shows the next time
    // the window is shown).
    if (m_conflict)
        schedule();
}

void FnKeyConflictBanner::hideEvent(QHideEvent* event)
{
    stop();
    QWidget::hideEvent(event);
}

void FnKeyConflictBanner::schedule()
{
    QPointer<FnKeyConflictBanner> self(this);
    m_timer = m_clock.schedule(recheckInterval, [self] {
        if (!self)
            return;
        self->m_timer = 0;
        self->recheck();
        if (self->m_conflict)
            self->schedule();
    });
}

void FnKeyConflictBanner::stop()
{
    if (m_timer == 0)
        return;
    m_clock.cancel(m_timer);
    m_timer = 0;
}
