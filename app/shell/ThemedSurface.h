#pragma once

#include <QWidget>

// A plain area in the skin's colours: the window background, or the lighter bar of the header,
// filter bar and status bar (the translucent bars of the design, here a card-tinted background
// that needs no compositor).
class ThemedSurface : public QWidget
{
    Q_OBJECT

public:
    enum class Kind
    {
        background,
        bar
    };

    explicit ThemedSurface(Kind kind, QWidget* parent = nullptr);

    // A hairline along the bottom edge (the divider under the filter bar).
    void setBottomHairline(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    bool m_hairline = false;
};
