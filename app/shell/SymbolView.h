#pragma once

#include "app/ui/ThemePalette.h"

#include <QWidget>

// One of the program's symbols in a role of the skin, at a font-like size, in a square of its own.
class SymbolView : public QWidget
{
    Q_OBJECT

public:
    using Role = ColorPair ThemePalette::*;

    SymbolView(const QString& icon, Role colour, qreal size, QWidget* parent = nullptr);

    QString icon() const { return m_icon; }
    void setLook(const QString& icon, Role colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_icon;
    Role m_colour;
    qreal m_size;
};
