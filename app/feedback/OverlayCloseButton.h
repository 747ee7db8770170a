#pragma once

#include <QAbstractButton>

// The capsule's close control: a small "xmark" on a soft accent circle.
class OverlayCloseButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit OverlayCloseButton(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {26, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
