#include "app/ui/ThemePalette.h"

namespace {

QColor rgb(QRgb value, qreal alpha = 1.0)
{
    QColor c = QColor::fromRgb(value);
    c.setAlphaF(float(alpha));
    return c;
}

ColorPair pair(QRgb light, QRgb dark)
{
    return ColorPair(rgb(light), rgb(dark));
}

// The action colours are the same in every skin, so a dictation looks the same whatever the skin.
struct ActionColours
{
    ColorPair gold = pair(0xB87400, 0xF2AE0A);
    ColorPair goldBright = pair(0xF2AE0A, 0xFFCD3E);
    ColorPair goldSheen = pair(0xFFD445, 0xFFDF73);
    ColorPair teal = pair(0x00998C, 0x45D1BD);
    ColorPair tealBright = pair(0x1ABFAB, 0x73EBD6);
    ColorPair violet = pair(0x6E54DE, 0xA891FC);
    ColorPair violetBright = pair(0x8F78F7, 0xC9B5FF);
};

const ActionColours& actions()
{
    static const ActionColours colours;
    return colours;
}

ThemePalette withActions(ThemePalette p)
{
    const ActionColours& a = actions();
    p.gold = a.gold;
    p.goldBright = a.goldBright;
    p.goldSheen = a.goldSheen;
    p.teal = a.teal;
    p.tealBright = a.tealBright;
    p.violet = a.violet;
    p.violetBright = a.violetBright;
    return p;
}

ThemePalette makeNative()
{
    ThemePalette p;
    p.id = QStringLiteral("native");
    p.name = QStringLiteral("跟随系统");
    p.bg = pair(0xF5F5F7, 0x1C1C1E);
    p.bgCard = pair(0xFFFFFF, 0x2C2C2E);
    p.bgSub = pair(0xECECEF, 0x232326);
    p.text = ColorPair::semantic(ColorPair::Semantic::Label);
    p.textDim = ColorPair::semantic(ColorPair::Semantic::SecondaryLabel);
    p.textFaint = ColorPair::semantic(ColorPair::Semantic::TertiaryLabel);
    p.accent = ColorPair::semantic(ColorPair::Semantic::ControlAccent);
    p.accentSoftAlpha = {0.14, 0.14};
    p.onAccent = pair(0xFFFFFF, 0xFFFFFF);
    // The desktop palette has no success, failure or warning roles; these are the usual
    // system green, red and orange of each appearance.
    p.green = pair(0x34C759, 0x30D158);
    p.red = pair(0xFF3B30, 0xFF453A);
    p.warn = pair(0xFF9500, 0xFF9F0A);
    p.hairline = ColorPair(rgb(0x000000, 0.06), rgb(0xFFFFFF, 0.12));
    p.solidCardLight = false;
    p.solidCardDark = false;
    return withActions(p);
}

ThemePalette makeXuan()
{
    ThemePalette p;
    p.id = QStringLiteral("xuan");
    p.name = QStringLiteral("宣纸");
    p.bg = pair(0xF4F1EA, 0x211D18);
    p.bgCard = pair(0xFBF8F2, 0x2B2621);
    p.bgSub = pair(0xECE7DC, 0x262119);
    p.text = pair(0x2B2620, 0xEDE6DA);
    p.textDim = pair(0x6F675B, 0xB0A392);
    p.textFaint = pair(0xA79D8D, 0x776C5D);
    p.accent = pair(0xA8754D, 0xC99B72);
    p.accentSoftAlpha = {0.13, 0.20};
    p.onAccent = pair(0xFFFFFF, 0x211D18);
    p.green = pair(0x6B9F7E, 0x8FB99C);
    p.red = pair(0xC97070, 0xD98E8E);
    p.warn = pair(0xD9A155, 0xE3B26E);
    p.hairline = ColorPair(rgb(0x4A3B28, 0.08), rgb(0xFFF3E0, 0.10));
    p.solidCardLight = true;
    p.solidCardDark = true;
    return withActions(p);
}

ThemePalette makeCeladon()
{
    ThemePalette p;
    p.id = QStringLiteral("celadon");
    p.name = QStringLiteral("青瓷");
    p.bg = pair(0xEDF2F0, 0x131C1E);
    p.bgCard = pair(0xF8FBFA, 0x1C2A2B);
    p.bgSub = pair(0xE3EAE8, 0x172325);
    p.text = pair(0x1F2A28, 0xE4EEEC);
    p.textDim = pair(0x5C6B68, 0x93A8A4);
    p.textFaint = pair(0x98A7A3, 0x5C716D);
    p.accent = pair(0x4E8578, 0x7FBFB0);
    p.accentSoftAlpha = {0.14, 0.18};
    p.onAccent = pair(0xFFFFFF, 0x131C1E);
    p.green = pair(0x4E9663, 0x6FBE8A);
    p.red = pair(0xC05A55, 0xE08080);
    p.warn = pair(0xC98A3B, 0xE0A45C);
    p.hairline = ColorPair(rgb(0x16302B, 0.07), rgb(0xDCF2EC, 0.10));
    p.solidCardLight = false;
    p.solidCardDark = true;
    return withActions(p);
}

ThemePalette makeZhupi()
{
    ThemePalette p;
    p.id = QStringLiteral("zhupi");
    p.name = QStringLiteral("朱批");
    p.bg = pair(0xF6F4F0, 0x191512);
    p.bgCard = pair(0xFDFCFA, 0x221E19);
    p.bgSub = pair(0xEDEAE4, 0x0F0C0A);
    p.text = pair(0x1F1D1B, 0xEAE3D6);
    p.textDim = pair(0x63605B, 0xAFA593);
    p.textFaint = pair(0x96928B, 0x7A7163);
    p.accent = pair(0xBE452D, 0xE2684A);
    p.accentSoftAlpha = {0.12, 0.22};
    p.onAccent = pair(0xFFFFFF, 0x191512);
    p.green = pair(0x4F8A5B, 0x7FB08A);
    p.red = pair(0xA63246, 0xE0707F);
    p.warn = pair(0xB97F2E, 0xDDA243);
    p.hairline = ColorPair(rgb(0x1F1D1B, 0.07), rgb(0xFFFFFF, 0.10));
    p.solidCardLight = false;
    p.solidCardDark = true;
    return withActions(p);
}

} // namespace

const ThemePalette& ThemePalette::native()
{
    return all().at(0);
}

const ThemePalette& ThemePalette::xuan()
{
    return all().at(1);
}

const ThemePalette& ThemePalette::celadon()
{
    return all().at(2);
}

const ThemePalette& ThemePalette::zhupi()
{
    return all().at(3);
}

const QList<ThemePalette>& ThemePalette::all()
{
    static const QList<ThemePalette> palettes{makeNative(), makeXuan(), makeCeladon(), makeZhupi()};
    return palettes;
}

const ThemePalette& ThemePalette::byId(const QString& id)
{
    for (const ThemePalette& p : all()) {
        if (p.id == id)
            return p;
    }
    return xuan();
}
