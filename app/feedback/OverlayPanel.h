#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

class OverlayView;

// The floating window that holds the capsule: frameless, above other windows, never focused or
// activated, and draggable anywhere on its background.
class OverlayPanel : public QWidget
{
    Q_OBJECT

public:
    // translucent: a compositor blends the capsule's soft edges with what lies behind; without
    // one the window is cut to the capsule's shape.
    OverlayPanel(OverlayView* view, bool translucent);

    OverlayView* view() const { return m_view; }
    bool translucent() const { return m_translucent; }

Q_SIGNALS:
    // The user moved the panel by hand to this geometry. Drags are recognised from the user's own
    // mouse, not from the window's move notices, so our placing and resizing and any adjustment
    // by the window manager can never pass for a drag.
    void draggedTo(const QRect& geometry);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    OverlayView* m_view;
    bool m_translucent;
    std::optional<QPoint> m_grabOffset;
};
