#pragma once

#include <QColor>

// One colour role of a skin: a colour for the light appearance and one for the dark appearance,
// chosen when the view draws. A semantic pair follows the desktop's own Qt palette instead, as
// long as that palette is of the appearance asked for. It often is not: GNOME can be dark while
// Qt still hands out its light palette, whose black text would vanish on a dark card. The role's
// plain colour for that appearance stands in then.
class ColorPair
{
public:
    // The desktop palette roles a semantic pair can follow.
    enum class Semantic
    {
        None,
        Label,
        SecondaryLabel,
        TertiaryLabel,
        ControlAccent
    };

    ColorPair() = default;
    ColorPair(QColor light, QColor dark);
    static ColorPair semantic(Semantic role);

    QColor light() const { return color(false); }
    QColor dark() const { return color(true); }
    bool isSemantic() const { return m_semantic != Semantic::None; }

    // The colour under the given appearance.
    QColor color(bool darkAppearance) const;
    // The colour with an opacity per appearance. A semantic pair always takes alphaLight: the
    // desktop colour already carries its own adaptation.
    QColor color(qreal alphaLight, qreal alphaDark, bool darkAppearance) const;

    friend bool operator==(const ColorPair&, const ColorPair&) = default;

private:
    QColor semanticColor(bool darkAppearance) const;

    QColor m_light;
    QColor m_dark;
    Semantic m_semantic = Semantic::None;
};
