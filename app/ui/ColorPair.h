#pragma once

#include <QColor>

// One colour role of a skin: a colour for the light appearance and one for the dark appearance,
// chosen when the view draws. A semantic pair follows the desktop's own Qt palette instead; it
// adapts by itself, so both of its fields are the same resolved colour.
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

    QColor light() const;
    QColor dark() const;
    bool isSemantic() const { return m_semantic != Semantic::None; }

    // The colour under the given appearance.
    QColor color(bool darkAppearance) const;
    // The colour with an opacity per appearance. A semantic pair always takes alphaLight: the
    // desktop colour already carries its own adaptation.
    QColor color(qreal alphaLight, qreal alphaDark, bool darkAppearance) const;

    friend bool operator==(const ColorPair&, const ColorPair&) = default;

private:
    QColor m_light;
    QColor m_dark;
    Semantic m_semantic = Semantic::None;
};
