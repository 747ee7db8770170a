#pragma once

#include "app/shell/HistoryView.h"

#include <QPointer>
#include <QWidget>

class OnboardingView;
class SheetOverlay;

// The main window, "Murmo": the history, with the first-run sheet over it until the user has
// been through it once. Closing it leaves the program running; bringToFront() brings it back
// (a second launch asks for that).
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize defaultSize{780, 560};

    // onboarded: the "didOnboard" setting; while false the first-run sheet covers the history.
    HistoryWindow(HistoryView::Parts parts, bool onboarded, QWidget* parent = nullptr);

    HistoryView* view() const { return m_view; }
    OnboardingView* onboarding() const;

    void bringToFront();

Q_SIGNALS:
    // The first-run sheet was completed: the owner stores "didOnboard".
    void onboardingDone();
    // The window was shown for the first time: the owner refreshes a signed-in account then.
    void firstShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finishOnboarding();

    HistoryView* m_view;
    QPointer<SheetOverlay> m_onboarding;
    bool m_shown = false;
};
