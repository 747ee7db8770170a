#pragma once

// Whether a compositing manager runs, so that windows may be see-through. Asked each time a
// floating panel is shown, since a compositor can start or stop at any time.
class Compositing
{
public:
    virtual ~Compositing() = default;
    virtual bool isActive() const = 0;
};
