#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

// A frameless window that floats above the others, full-screen ones included, on every desktop,
// and is shown without activating the application, so the user keeps typing where they were. It
// holds one content widget, can be dragged by its background and is placed where the program
// asks.
class FloatingPanel : public QWidget
{
    Q_OBJECT

public:
    // translucent: a compositor blends the content's soft edges with what lies behind.
    // extraFlags: further window flags, such as refusing focus altogether.
    FloatingPanel(QWidget* content, bool translucent, Qt::WindowFlags extraFlags = {});

    bool translucent() const { return m_translucent; }

    // Shows the panel with this geometry. A window manager may place a newly mapped window by its
    // own policy, so the geometry is asked for again once the window is mapped.
    void showAt(const QRect& geometry);

Q_SIGNALS:
    // The user moved the panel by hand to this geometry. Drags are recognised from the user's own
    // mouse, not from the window's move notices, so our placing and resizing and any adjustment
    // by the window manager can never pass for a drag.
    void draggedTo(const QRect& geometry);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_translucent;
    std::optional<QPoint> m_grabOffset;
};
