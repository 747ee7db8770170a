#pragma once

#include <QAbstractButton>

// A flat, capsule-shaped choice button that draws itself in the current skin: the chosen one in
// the accent, the others on a faint fill. Used by the style-mode and cue-sound pickers, which
// differ only in how strongly the chosen capsule is filled.
class CapsuleButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Look
    {
        // Filled with the accent, its text on the accent.
        Solid,
        // A soft accent fill, an accent outline and accent text.
        Soft
    };

    CapsuleButton(const QString& text, Look look, QWidget* parent = nullptr);

    bool isChosen() const { return m_chosen; }
    void setChosen(bool chosen);

    // What the capsule paints with right now.
    QColor fillColor() const;
    QColor textColor() const;
    QColor borderColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    QMargins padding() const;

    Look m_look;
    bool m_chosen = false;
};
