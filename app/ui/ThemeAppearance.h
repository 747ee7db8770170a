#pragma once

#include <QObject>
#include <QPointer>

class Appearance;

// Keeps Theme's light/dark in step with the desktop: takes the appearance's answer at start and
// on every change, then repaints every window so each pair resolves to its new colour.
class ThemeAppearance : public QObject
{
    Q_OBJECT

public:
    explicit ThemeAppearance(Appearance& appearance, QObject* parent = nullptr);

Q_SIGNALS:
    // After Theme::isDark() took a new value and the windows were asked to repaint.
    void changed(bool dark);

private:
    void apply(bool dark);

    QPointer<Appearance> m_appearance;
};
