#pragma once

#include "app/ui/ThemePalette.h"

#include <QAbstractButton>

class PressableIconStyle;

// The square icon button of the history cards: a 28 × 28 target with the symbol in the middle,
// a hairline square behind it while the pointer is over it, and the press effect. The tint is a
// role of the skin, read when it paints, so a skin change recolours it.
class HistoryIconButton : public QAbstractButton
{
    Q_OBJECT

public:
    using Role = ColorPair ThemePalette::*;

    static constexpr int side = 28;
    static constexpr qreal symbolSize = 13;
    static constexpr qreal cornerRadius = 7;

    HistoryIconButton(const QString& icon, const QString& help, Role tint, QWidget* parent = nullptr);

    QString icon() const { return m_icon; }
    Role tint() const { return m_tint; }
    bool hovering() const { return m_hovering; }
    // For a button whose meaning changes (play and stop).
    void setLook(const QString& icon, const QString& help, Role tint);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_icon;
    Role m_tint;
    PressableIconStyle* m_pressable;
    bool m_hovering = false;
};
