#pragma once

#include <QAbstractButton>
#include <QString>

// A borderless button showing one of the program's symbols: the trash can of a list row, the
// clear mark of a hotkey. Destructive buttons draw in the skin's red, the others in its dim text;
// the colour is read at every paint, so a skin change needs only a repaint.
class SymbolButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Role
    {
        Destructive,
        Secondary
    };

    SymbolButton(const QString& symbol, Role role, const QString& toolTip, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    Role role() const { return m_role; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    Role m_role;
};
