#pragma once

#include "app/feedback/OverlayScreens.h"

// The screens Qt knows. The user works on the screen that holds the pointer: the overlay never
// takes focus, so our own focus says nothing about where the user is.
class QtOverlayScreens : public OverlayScreens
{
public:
    QList<QRect> availableGeometries() const override;
    std::optional<QRect> activeAvailableGeometry() const override;
};
