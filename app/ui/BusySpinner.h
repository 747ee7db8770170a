#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate progress indicator: an arc that turns while it is on screen.
class BusySpinner : public QWidget
{
    Q_OBJECT

public:
    explicit BusySpinner(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_turn;
    int m_angle = 0;
};
