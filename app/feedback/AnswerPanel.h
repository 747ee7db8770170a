#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

class AnswerView;

// The floating window of the answer card: frameless, above other windows and shown without
// being activated, so the user keeps typing where they were. It does take the keyboard when the
// user clicks into it, so the answer can be selected and copied with the keys. Draggable by its
// background.
class AnswerPanel : public QWidget
{
    Q_OBJECT

public:
    AnswerPanel(AnswerView* view, bool translucent);

    AnswerView* view() const { return m_view; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    AnswerView* m_view;
    std::optional<QPoint> m_grabOffset;
};
