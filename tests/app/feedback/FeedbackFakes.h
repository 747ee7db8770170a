#pragma once

#include "app/feedback/OverlayScreens.h"
#include "platform/Compositing.h"

// Screens whose usable areas the test sets; the first one is the active screen unless told.
class FakeScreens : public OverlayScreens
{
public:
    FakeScreens() { areas.append(QRect(0, 0, 1920, 1080)); }

    QList<QRect> areas;
    std::optional<int> active = 0;

    QList<QRect> availableGeometries() const override { return areas; }
    std::optional<QRect> activeAvailableGeometry() const override
    {
        if (!active || *active < 0 || *active >= areas.size())
            return std::nullopt;
        return areas.at(*active);
    }
};

class FakeCompositing : public Compositing
{
public:
    bool active = true;
    bool isActive() const override { return active; }
};
