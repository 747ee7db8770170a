#pragma once

#include <QAbstractButton>

// The capsule's retry control: "arrow.clockwise" and a title on an accent capsule.
class OverlayRetryButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit OverlayRetryButton(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const { return text(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
