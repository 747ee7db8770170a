#pragma once

#include <QAbstractButton>
#include <QString>

// A borderless button showing one of the program's symbols (the clear mark of a hotkey), drawn in
// the skin's dim text; the colour is read at every paint, so a skin change needs only a repaint.
class SymbolButton : public QAbstractButton
{
    Q_OBJECT

public:
    SymbolButton(const QString& symbol, const QString& toolTip, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
};
