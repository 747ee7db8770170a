#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <functional>

class AppState;
class QLabel;
class QPushButton;
class StyleProfile;

// The learned style profile: its text (selectable) with the date and sample count of its last
// distillation, or a caption when there is none yet; "立即提炼" asks the controller for a
// distillation and "清除画像" forgets the profile. Redrawn at every change of the history
// version. Main thread only.
class StyleProfileView : public QWidget
{
    Q_OBJECT

public:
    // The controller's distillation from the stored samples; it reports on the status line and
    // advances the history version itself.
    using Refresh = std::function<QCoro::Task<void>()>;

    StyleProfileView(AppState& state, StyleProfile& profile, Refresh refresh, QWidget* parent = nullptr);

    bool isRefreshing() const { return m_refreshing; }
    // Rereads the profile and the skin.
    void reload();

private:
    void startRefresh();
    void showAnswer();
    void clearProfile();
    static QCoro::Task<void> awaitRefresh(QPointer<StyleProfileView> self, QCoro::Task<void> task);

    AppState& m_state;
    StyleProfile& m_profile;
    Refresh m_refresh;
    QLabel* m_empty;
    QLabel* m_text;
    QLabel* m_updated;
    QPushButton* m_refreshButton;
    // What the distillation answered, shown here too: the settings window hides the status line.
    QLabel* m_answer;
    bool m_refreshing = false;
};
