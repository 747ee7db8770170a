#include "app/shell/OnboardingView.h"

#include "app/desktop/PermissionsModel.h"
#include "app/shell/PermissionRow.h"
#include "app/shell/ShellButtons.h"
#include "app/shell/SymbolView.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

OnboardingView::OnboardingView(PermissionsModel& perms, QWidget* parent)
    : QWidget(parent)
    , m_perms(perms)
{
    setFixedWidth(baseSize.width());
    setMinimumHeight(baseSize.height());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    header->setContentsMargins(0, 28, 0, 20);
    header->addWidget(new SymbolView(QStringLiteral("mic.circle.fill"), &ThemePalette::accent, 44, this), 0,
                      Qt::AlignHCenter);
    header->addWidget(
        text(QStringLiteral("欢迎使用「Murmo」"), DesignFonts::font(20, QFont::DemiBold), &ThemePalette::text), 0,
        Qt::AlignHCenter);
    header->addWidget(
        text(QStringLiteral("说话，即成文"), DesignFonts::font(13, QFont::Medium), &ThemePalette::textDim), 0,
        Qt::AlignHCenter);
    header->addWidget(text(QStringLiteral("按快捷键说话，文字自动出现在光标处。先授予两项权限："),
                           DesignFonts::font(12), &ThemePalette::textFaint),
                      0, Qt::AlignHCenter);
    column->addLayout(header);

    auto* permissions = new QVBoxLayout;
    permissions->setSpacing(12);
    permissions->setContentsMargins(24, 0, 24, 0);
    for (MurmoPermission perm : MurmoPermissions::allCases()) {
        auto* row = new PermissionRow(perm, granted(perm), this);
        connect(row, &PermissionRow::requestGrant, this, &OnboardingView::requestGrant);
        m_rows.insert(perm, row);
        permissions->addWidget(row);
    }
    m_relaunchNote = new QWidget(this);
    auto* note = new QHBoxLayout(m_relaunchNote);
    note->setContentsMargins(4, 0, 4, 0);
    note->setSpacing(8);
    note->addWidget(new SymbolView(QStringLiteral("info.circle"), &ThemePalette::textDim, 12, m_relaunchNote));
    m_relaunchText =
        text(QStringLiteral("已开启「辅助技术」？点右侧重启生效"), DesignFonts::font(11), &ThemePalette::textDim);
    m_relaunchText->setParent(m_relaunchNote);
    note->addWidget(m_relaunchText);
    note->addStretch(1);
    m_relaunch = new QPushButton(QStringLiteral("重启Murmo"), m_relaunchNote);
    QPushButton* relaunch = m_relaunch;
    relaunch->setFont(DesignFonts::callout());
    connect(relaunch, &QPushButton::clicked, this, &OnboardingView::relaunchRequested);
    note->addWidget(relaunch);
    permissions->addWidget(m_relaunchNote);
    column->addLayout(permissions);

    column->addStretch(1);
    column->addSpacing(20);

    auto* bottom = new QVBoxLayout;
    bottom->setSpacing(8);
    bottom->setContentsMargins(24, 0, 24, 22);
    m_continue = new QPushButton(this);
    m_continue->setDefault(true);
    m_continue->setMinimumHeight(32);
    m_continue->setFont(DesignFonts::body(QFont::Medium));
    connect(m_continue, &QPushButton::clicked, this, &OnboardingView::done);
    bottom->addWidget(m_continue);
    m_bottomNote = text(MurmoPermissions::continueWithoutNote(), DesignFonts::font(11), &ThemePalette::textFaint);
    m_bottomNote->setAlignment(Qt::AlignHCenter);
    m_bottomNote->setWordWrap(true);
    bottom->addWidget(m_bottomNote);
    column->addLayout(bottom);

    connect(&m_perms, &PermissionsModel::grantedChanged, this, &OnboardingView::refreshTexts);
    refreshTexts();
}

QSize OnboardingView::sizeHint() const
{
    return {baseSize.width(), std::max(baseSize.height(), layout()->totalHeightForWidth(baseSize.width()))};
}

QLabel* OnboardingView::text(const QString& text, const QFont& font, ColorPair ThemePalette::*colour)
{
    auto* label = new QLabel(text, this);
    label->setFont(font);
    m_texts.append({label, colour});
    return label;
}

bool OnboardingView::granted(MurmoPermission perm) const
{
    return m_perms.isGranted(perm);
}

void OnboardingView::refreshTexts()
{
    for (auto [perm, row] : m_rows.asKeyValueRange())
        row->setGranted(granted(perm));
    const bool allGranted = granted(MurmoPermission::microphone) && granted(MurmoPermission::accessibility);
    m_relaunchNote->setVisible(!granted(MurmoPermission::accessibility));
    m_continue->setText(allGranted ? QStringLiteral("开始使用") : QStringLiteral("稍后再说，先进入"));
    m_bottomNote->setVisible(!allGranted);
    applyTheme();
}

void OnboardingView::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    for (const auto& [label, role] : std::as_const(m_texts)) {
        QPalette colours = label->palette();
        colours.setColor(QPalette::WindowText, Theme::color(palette.*role));
        label->setPalette(colours);
    }
    QPalette prominent = m_continue->palette();
    prominent.setColor(QPalette::Button, Theme::color(palette.accent));
    prominent.setColor(QPalette::ButtonText, Theme::color(palette.onAccent));
    // The focus outline is drawn in the highlight: on the accent, in the accent's own text colour.
    prominent.setColor(QPalette::Highlight, Theme::color(palette.onAccent));
    m_continue->setPalette(prominent);
    ShellButtons::applyTheme(m_relaunch);
    for (PermissionRow* row : std::as_const(m_rows))
        row->applyTheme();
    QWidget::update();
}

void OnboardingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::color(Theme::palette().bg));
}
