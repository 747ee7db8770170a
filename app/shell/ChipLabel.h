#pragma once

#include <QColor>
#include <QLabel>

// A short plain text on a filled capsule: the action and mode chips of the history cards.
class ChipLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ChipLabel(QWidget* parent = nullptr);

    void setColours(const QColor& text, const QColor& fill);
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};
