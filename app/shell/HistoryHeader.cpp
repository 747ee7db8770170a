#include "app/shell/HistoryHeader.h"

#include "app/shell/HistoryIconButton.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

QFont brandFont()
{
    QFont font = DesignFonts::font(17, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    return font;
}

void colour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    widget->setPalette(colours);
}

} // namespace

HistoryHeader::HistoryHeader(QWidget* parent)
    : ThemedSurface(Kind::bar, parent)
    , m_row(new QHBoxLayout(this))
    , m_brand(new QLabel(QStringLiteral("Murmo"), this))
    , m_dash(new QLabel(QStringLiteral("—"), this))
    , m_tagline(new QLabel(QStringLiteral("说话，即成文"), this))
    , m_settings(
          new HistoryIconButton(QStringLiteral("gearshape"), QStringLiteral("设置"), &ThemePalette::textDim, this))
{
    m_row->setContentsMargins(16, 13, 16, 13);
    m_row->setSpacing(14);
    auto* brand = new QHBoxLayout;
    brand->setSpacing(7);
    m_brand->setFont(brandFont());
    m_dash->setFont(DesignFonts::font(13));
    m_tagline->setFont(DesignFonts::font(13));
    // The tagline gives way rather than hold the window wide; fitTagline() hides it then.
    m_dash->setMinimumWidth(1);
    m_tagline->setMinimumWidth(1);
    brand->addWidget(m_brand, 0, Qt::AlignBaseline);
    brand->addWidget(m_dash, 0, Qt::AlignBaseline);
    brand->addWidget(m_tagline, 0, Qt::AlignBaseline);
    m_row->addLayout(brand);
    m_row->addStretch(1);
    m_row->addWidget(m_settings);
    connect(m_settings, &QAbstractButton::clicked, this, &HistoryHeader::settingsRequested);
    applyTheme();
}

void HistoryHeader::setModePicker(QWidget* picker)
{
    delete m_picker;
    m_picker = picker;
    if (picker)
        m_row->insertWidget(m_row->indexOf(m_settings), picker);
    fitTagline();
}

bool HistoryHeader::taglineShown() const
{
    return m_tagline->isVisibleTo(this);
}

void HistoryHeader::resizeEvent(QResizeEvent* event)
{
    ThemedSurface::resizeEvent(event);
    fitTagline();
}

void HistoryHeader::fitTagline()
{
    // The brand with its tagline when it fits beside the controls, else the brand alone.
    const QMargins margins = m_row->contentsMargins();
    int controls = m_settings->sizeHint().width() + m_row->spacing();
    if (m_picker)
        controls += m_picker->sizeHint().expandedTo(m_picker->minimumSize()).width() + m_row->spacing();
    const int full = m_brand->sizeHint().width() + 7 + m_dash->sizeHint().width() + 7 + m_tagline->sizeHint().width();
    const bool fits = margins.left() + full + m_row->spacing() + controls + margins.right() <= width();
    m_dash->setVisible(fits);
    m_tagline->setVisible(fits);
}

void HistoryHeader::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    colour(m_brand, Theme::color(palette.text));
    colour(m_dash, Theme::color(palette.textFaint));
    colour(m_tagline, Theme::color(palette.textDim));
    update();
}
