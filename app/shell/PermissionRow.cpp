#include "app/shell/PermissionRow.h"

#include "app/shell/ShellButtons.h"
#include "app/shell/SymbolView.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct Texts
{
    QString symbol;
    QString title;
    QString explanation;
};

Texts textsOf(MurmoPermission perm)
{
    if (perm == MurmoPermission::microphone)
        return {QStringLiteral("mic.fill"), QStringLiteral("麦克风"), MurmoPermissions::explanation(perm)};
    return {QStringLiteral("keyboard.fill"), QStringLiteral("辅助功能"), MurmoPermissions::explanation(perm)};
}

void colour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    widget->setPalette(colours);
}

} // namespace

PermissionRow::PermissionRow(MurmoPermission perm, bool granted, QWidget* parent)
    : QWidget(parent)
    , m_perm(perm)
    , m_granted(granted)
{
    const Texts texts = textsOf(perm);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    m_symbol = new SymbolView(texts.symbol, &ThemePalette::textDim, 17, this);
    m_symbol->setFixedWidth(28);
    row->addWidget(m_symbol);

    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = new QLabel(texts.title, this);
    m_title->setFont(DesignFonts::body(QFont::Medium));
    m_explanation = new QLabel(texts.explanation, this);
    m_explanation->setFont(DesignFonts::caption());
    m_explanation->setWordWrap(true);
    m_hint = new QLabel(this);
    m_hint->setFont(DesignFonts::caption());
    m_hint->setWordWrap(true);
    m_hint->hide();
    column->addWidget(m_title);
    column->addWidget(m_explanation);
    column->addWidget(m_hint);
    row->addLayout(column, 1);

    m_grantedLabel = new QWidget(this);
    auto* grantedRow = new QHBoxLayout(m_grantedLabel);
    grantedRow->setContentsMargins(0, 0, 0, 0);
    grantedRow->setSpacing(4);
    grantedRow->addWidget(
        new SymbolView(QStringLiteral("checkmark.circle.fill"), &ThemePalette::green, 13, m_grantedLabel));
    m_grantedText = new QLabel(QStringLiteral("已授权"), m_grantedLabel);
    m_grantedText->setFont(DesignFonts::callout());
    grantedRow->addWidget(m_grantedText);
    row->addWidget(m_grantedLabel);

    m_grant = new QPushButton(QStringLiteral("授权"), this);
    m_grant->setFont(DesignFonts::callout());
    row->addWidget(m_grant);
    connect(m_grant, &QPushButton::clicked, this, [this] { Q_EMIT requestGrant(m_perm); });
    setGranted(granted);
}

void PermissionRow::setGranted(bool granted)
{
    m_granted = granted;
    m_grantedLabel->setVisible(granted);
    m_grant->setVisible(!granted);
    if (granted)
        m_hint->hide();
    m_symbol->setLook(m_symbol->icon(), granted ? &ThemePalette::green : &ThemePalette::textDim);
    applyTheme();
}

void PermissionRow::setHint(const QString& hint)
{
    m_hint->setText(hint);
    m_hint->setVisible(!hint.isEmpty() && !m_granted);
}

void PermissionRow::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    colour(m_title, Theme::color(palette.text));
    colour(m_explanation, Theme::color(palette.textFaint));
    colour(m_hint, Theme::color(palette.warn));
    colour(m_grantedText, Theme::color(palette.green));
    ShellButtons::applyTheme(m_grant);
    update();
}

void PermissionRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 10, 10);
    painter.fillPath(shape, Theme::color(Theme::palette().bgCard));
    painter.setPen(QPen(Theme::color(Theme::palette().hairline), 0.5));
    painter.drawPath(shape);
}
