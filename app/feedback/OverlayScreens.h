#pragma once

#include <QList>
#include <QRect>

#include <optional>

// The screens the overlay may be placed on, as their usable areas (without panels and docks) in
// global logical coordinates.
class OverlayScreens
{
public:
    virtual ~OverlayScreens() = default;

    virtual QList<QRect> availableGeometries() const = 0;
    // The usable area of the screen the user works on now; none when that is unknown.
    virtual std::optional<QRect> activeAvailableGeometry() const = 0;
};
