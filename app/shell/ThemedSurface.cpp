#include "app/shell/ThemedSurface.h"

#include "app/ui/Theme.h"

#include <QPainter>

ThemedSurface::ThemedSurface(Kind kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
{}

void ThemedSurface::setBottomHairline(bool shown)
{
    m_hairline = shown;
    update();
}

void ThemedSurface::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    const QColor background = Theme::color(palette.bg);
    painter.fillRect(rect(), m_kind == Kind::background ? background
                                                        : Theme::mixed(background, Theme::color(palette.bgCard), 0.55));
    if (m_hairline)
        painter.fillRect(QRect(0, height() - 1, width(), 1), Theme::color(palette.hairline));
}
