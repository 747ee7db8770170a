#pragma once

#include "app/ui/ThemePalette.h"

#include <QFont>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;
class SymbolView;

// The warning strip of the main window: a symbol, a text (and an optional detail line), then its
// buttons on the right, on a rounded strip tinted with the banner's colour role.
class ShellBanner : public QWidget
{
    Q_OBJECT

public:
    using Role = ColorPair ThemePalette::*;

    // outerHorizontal: the strip's distance from the window's sides (the banners of the
    // permissions and the Fn key sit 12 in, the others 16).
    ShellBanner(Role colour, const QString& icon, const QString& title, QFont::Weight titleWeight, int outerHorizontal,
                QWidget* parent = nullptr);

    void setTitle(const QString& title);
    // A caption under the title, selectable; empty hides it.
    void setDetail(const QString& detail);
    QPushButton* addButton(const QString& text);

    QString title() const;
    QString detail() const;
    QList<QPushButton*> buttons() const { return m_buttons; }

    void applyTheme();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF stripRect() const;

    Role m_colour;
    int m_outerHorizontal;
    QHBoxLayout* m_row;
    SymbolView* m_symbol;
    QLabel* m_title;
    QLabel* m_detail;
    QList<QPushButton*> m_buttons;
};
