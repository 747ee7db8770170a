#include "app/ui/Theme.h"

#include "app/ui/SymbolIcon.h"

namespace {

const ThemePalette* g_palette = nullptr;
bool g_dark = false;

} // namespace

namespace Theme {

const ThemePalette& palette()
{
    return g_palette ? *g_palette : ThemePalette::xuan();
}

void setPalette(const ThemePalette& palette)
{
    // Palettes are statics that live for the whole process; keep the one that matches by id so
    // callers may pass a copy.
    g_palette = &ThemePalette::byId(palette.id);
}

bool isDark()
{
    return g_dark;
}

void setDark(bool dark)
{
    g_dark = dark;
}

QColor color(const ColorPair& pair)
{
    return pair.color(g_dark);
}

QColor color(const ColorPair& pair, qreal alphaLight, qreal alphaDark)
{
    return pair.color(alphaLight, alphaDark, g_dark);
}

QColor softAccent()
{
    const ThemePalette& p = palette();
    return color(p.accent, p.accentSoftAlpha.light, p.accentSoftAlpha.dark);
}

QString translateIcon()
{
    static const QString name = SymbolIcon::exists(QStringLiteral("translate"))
                                    ? QStringLiteral("translate")
                                    : QStringLiteral("character.book.closed");
    return name;
}

QLinearGradient glassRim(const QRectF& rect)
{
    QLinearGradient gradient(rect.center().x(), rect.top(), rect.center().x(), rect.bottom());
    auto white = [](qreal alpha) {
        QColor c(Qt::white);
        c.setAlphaF(float(alpha));
        return c;
    };
    gradient.setColorAt(0.0, white(0.55));
    gradient.setColorAt(0.5, white(0.12));
    gradient.setColorAt(1.0, white(0.04));
    return gradient;
}

QColor mixed(const QColor& from, const QColor& to, qreal t)
{
    auto srgb = [](const QColor& c) {
        QColor converted = c.isValid() ? c.toRgb() : QColor();
        if (!converted.isValid())
            return QColor::fromRgbF(0, 0, 0, 0);
        return converted;
    };
    const QColor a = srgb(from);
    const QColor b = srgb(to);
    const qreal k = t < 0 ? 0.0 : (t >= 1 ? 1.0 : t);
    auto lerp = [k](float x, float y) { return float(x + k * (y - x)); };
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()), lerp(a.blueF(), b.blueF()),
                            lerp(a.alphaF(), b.alphaF()));
}

} // namespace Theme
