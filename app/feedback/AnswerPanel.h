#pragma once

#include "app/feedback/FloatingPanel.h"

class AnswerView;

// The floating window of the answer card. Like every floating panel it is shown without being
// activated; unlike the overlay it does take the keyboard when the user clicks into it, so the
// answer can be selected and copied with the keys.
class AnswerPanel : public FloatingPanel
{
    Q_OBJECT

public:
    AnswerPanel(AnswerView* view, bool translucent);

    AnswerView* view() const { return m_view; }

private:
    AnswerView* m_view;
};
