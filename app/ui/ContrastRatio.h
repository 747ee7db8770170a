#pragma once

#include <QColor>

// Contrast between two colours as WCAG measures it: the ratio of their relative luminances in
// sRGB, from 1 (none) to 21 (black on white). Body text needs 4.5, control boundaries 3.
namespace ContrastRatio {

double relativeLuminance(const QColor& colour);
double ratio(const QColor& a, const QColor& b);

} // namespace ContrastRatio
