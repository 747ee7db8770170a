#include "app/shell/ShellBanner.h"

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

constexpr int outerTop = 10;
constexpr int innerHorizontal = 12;
constexpr int innerVertical = 10;
constexpr qreal cornerRadius = 10;

} // namespace

ShellBanner::ShellBanner(Role colour, const QString& icon, const QString& title, QFont::Weight titleWeight,
                         int outerHorizontal, QWidget* parent)
    : QWidget(parent)
    , m_colour(colour)
    , m_outerHorizontal(outerHorizontal)
    , m_row(new QHBoxLayout(this))
    , m_symbol(new SymbolView(icon, colour, 15, this))
    , m_title(new QLabel(title, this))
    , m_detail(new QLabel(this))
{
    m_row->setContentsMargins(outerHorizontal + innerHorizontal, outerTop + innerVertical,
                              outerHorizontal + innerHorizontal, innerVertical);
    m_row->setSpacing(10);
    m_row->addWidget(m_symbol, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    m_title->setFont(DesignFonts::callout(titleWeight));
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setWordWrap(true);
    m_detail->setFont(DesignFonts::caption());
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detail->hide();
    texts->addWidget(m_title);
    texts->addWidget(m_detail);
    m_row->addLayout(texts, 1);
    m_row->addSpacing(8);
    applyTheme();
}

void ShellBanner::setTitle(const QString& title)
{
    m_title->setText(title);
}

void ShellBanner::setDetail(const QString& detail)
{
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
}

QPushButton* ShellBanner::addButton(const QString& text)
{
    auto* button = new QPushButton(text, this);
    button->setFont(DesignFonts::callout());
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_row->addWidget(button, 0, Qt::AlignVCenter);
    m_buttons.append(button);
    ShellButtons::applyTheme(button);
    return button;
}

QString ShellBanner::title() const
{
    return m_title->text();
}

QString ShellBanner::detail() const
{
    return m_detail->text();
}

void ShellBanner::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    QPalette colours = m_title->palette();
    colours.setColor(QPalette::WindowText, Theme::color(palette.text));
    m_title->setPalette(colours);
    colours.setColor(QPalette::WindowText, Theme::color(palette.text, 0.7, 0.7));
    m_detail->setPalette(colours);
    for (QPushButton* button : std::as_const(m_buttons))
        ShellButtons::applyTheme(button);
    update();
}

QRectF ShellBanner::stripRect() const
{
    return QRectF(rect()).adjusted(m_outerHorizontal + 0.25, outerTop + 0.25, -m_outerHorizontal - 0.25, -0.25);
}

void ShellBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorPair& colour = Theme::palette().*m_colour;
    QPainterPath strip;
    strip.addRoundedRect(stripRect(), cornerRadius, cornerRadius);
    painter.fillPath(strip, Theme::color(colour, 0.12, 0.12));
    painter.setPen(QPen(Theme::color(colour, 0.28, 0.28), 0.5));
    painter.drawPath(strip);
}
