#pragma once

#include <QProxyStyle>

// The desktop's style with the boundaries of the controls a user fills in or ticks (check boxes,
// text fields, choice boxes) drawn in a colour of the current skin that stands out
// at least 3:1 from both the cards and the window background, light or dark. A focused field
// keeps the style's own focus outline. Installed once for the whole program.
class ControlStyle : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    static constexpr double minimumContrast = 3.0;

    // The boundary colour of the current skin and appearance.
    static QColor boundary();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};
