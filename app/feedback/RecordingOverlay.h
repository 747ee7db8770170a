#pragma once

#include "app/feedback/OverlayModel.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QPropertyAnimation>
#include <QSize>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class Compositing;
class OverlayPanel;
class OverlayScreens;
class OverlayView;

// The floating capsule that shows a dictation's progress near the bottom of the screen. The
// dictation controller is its only client. It owns the panel, its size and place, its fades, and
// the rule that a newer presentation always wins over an older scheduled hide (fadeSeq). Main
// thread only; all waiting goes through the clock.
class RecordingOverlay : public QObject
{
    Q_OBJECT

public:
    static constexpr int bottomOffset = 96;

    RecordingOverlay(Clock& clock, OverlayScreens& screens, const Compositing& compositing, QObject* parent = nullptr);
    ~RecordingOverlay() override;

    // Entry points of the dictation controller.
    void showListening(OverlayModel::Phase listening = OverlayModel::Phase::listening);
    // `text` says what the work waits for when it is not the tidying.
    void showProcessing(const QString& text = OverlayModel::kTidying);
    void finish(const QString& text, bool inserted, const std::optional<QString>& copyHint);
    void fail(const QString& message);
    void failActionable(OverlayModel::FailKind kind, const QString& message);
    void note(const QString& title, const QString& subtitle);
    void showCancelled();

    void setPartial(const QString& text);
    void setRetrying(bool on);
    void setLevel(float level);
    void refreshTheme();
    // Hides the capsule now and voids every pending hide.
    void hide();

    // Moves a listening or processing capsule to the screen the user now works on. Wired to the
    // desktop's "another application became active" notice.
    void followActiveScreen();

    OverlayModel* model() const { return m_model; }
    OverlayPanel* panel() const { return m_panel.get(); }
    OverlayView* view() const;
    quint64 fadeSeq() const { return m_fadeSeq; }
    bool userDragged() const { return m_userDragged; }
    std::optional<QPoint> userOrigin() const { return m_userOrigin; }
    bool isShowing() const;

    static QSize sizeForPhase(OverlayModel::Phase phase, bool inserted);
    // Where a panel of this size goes: the user's place when it still touches a screen, else
    // centred 96 px above the bottom of the active screen's usable area.
    QRect targetGeometry(QSize size);

Q_SIGNALS:
    // The capsule's retry button was pressed while the failure on show offers a retry. The
    // controller knows what to retry; it calls setRetrying(true) before it starts.
    void retryRequested();
    // The capsule's close button was pressed. With nobody connected the capsule hides itself;
    // a receiver takes closing over.
    void dismissRequested();

private:
    void present();
    void buildPanel();
    void scheduleHide(std::chrono::milliseconds after);
    void gradualFadeOut(std::chrono::milliseconds total, std::chrono::milliseconds readHold);
    void fadeOut();
    void animateOpacity(qreal to, std::chrono::milliseconds duration, QEasingCurve::Type curve);
    void animateGeometry(const QRect& target, std::chrono::milliseconds duration);
    void orderOut();
    void onDragged(const QRect& geometry);
    void retryFromCapsule();
    void closeFromCapsule();

    Clock& m_clock;
    OverlayScreens& m_screens;
    const Compositing& m_compositing;
    std::unique_ptr<OverlayPanel> m_panel;
    OverlayModel* m_model;
    std::optional<QPoint> m_userOrigin; // bottom-left corner: x, and y just below the bottom row
    bool m_userDragged = false;
    quint64 m_fadeSeq = 0;
    // Generation of moves and resizes, so only the newest one's completion settles the frame.
    quint64 m_moveSeq = 0;
    QPointer<QPropertyAnimation> m_opacityAnimation;
    QPointer<QPropertyAnimation> m_geometryAnimation;
};
