#include "app/feedback/FloatingPanel.h"

#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

// The window manager is bypassed, as desktop on-screen displays do: a managed window, even one
// kept above, sinks below the full-screen window in front and is hidden with its desktop when
// the user switches desktops. A window the manager does not manage stays on top and on screen.
FloatingPanel::FloatingPanel(QWidget* content, bool translucent, Qt::WindowFlags extraFlags)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint | extraFlags)
    , m_translucent(translucent)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setWindowTitle(QStringLiteral("Murmo"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    if (!(extraFlags & Qt::WindowDoesNotAcceptFocus)) {
        // No window manager hands the keyboard to a bypassing window when it is clicked; a panel
        // that accepts focus takes it itself, wherever in the window the click lands.
        create();
        windowHandle()->installEventFilter(this);
    }
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && event->type() == QEvent::MouseButtonPress && !isActiveWindow())
        activateWindow();
    return QWidget::eventFilter(watched, event);
}

void FloatingPanel::showAt(const QRect& geometry)
{
    setGeometry(geometry);
    show();
    setGeometry(geometry);
}

void FloatingPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_grabOffset = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void FloatingPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_grabOffset);
        Q_EMIT draggedTo(geometry());
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void FloatingPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grabOffset.reset();
    QWidget::mouseReleaseEvent(event);
}
