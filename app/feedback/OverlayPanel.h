#pragma once

#include "app/feedback/FloatingPanel.h"

class OverlayView;

// The floating window that holds the capsule: never focused or activated; without a compositor
// the window is cut to the capsule's shape.
class OverlayPanel : public FloatingPanel
{
    Q_OBJECT

public:
    OverlayPanel(OverlayView* view, bool translucent);

    OverlayView* view() const { return m_view; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    OverlayView* m_view;
};
