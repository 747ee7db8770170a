#include "app/feedback/RecordingOverlay.h"

#include "app/feedback/OverlayPanel.h"
#include "app/feedback/OverlayScreens.h"
#include "app/feedback/OverlayView.h"
#include "platform/Clock.h"
#include "platform/Compositing.h"

#include <QMetaMethod>

#include <cmath>

using namespace std::chrono_literals;
using Phase = OverlayModel::Phase;

namespace {

constexpr auto fadeInDuration = 160ms;
constexpr auto fadeOutDuration = 200ms;
constexpr auto resizeDuration = 200ms;
constexpr auto followDelay = 60ms;
constexpr auto followDuration = 180ms;

} // namespace

RecordingOverlay::RecordingOverlay(Clock& clock, OverlayScreens& screens, const Compositing& compositing,
                                   QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_screens(screens)
    , m_compositing(compositing)
    , m_model(new OverlayModel(this))
{}

RecordingOverlay::~RecordingOverlay() = default;

OverlayView* RecordingOverlay::view() const
{
    return m_panel ? m_panel->view() : nullptr;
}

bool RecordingOverlay::isShowing() const
{
    return m_panel && m_panel->isVisible();
}

QSize RecordingOverlay::sizeForPhase(Phase phase, bool inserted)
{
    switch (phase) {
    case Phase::listening:
    case Phase::listeningTranslate:
    case Phase::listeningAsk:
    case Phase::listeningRewrite:
        return {146, 60};
    case Phase::processing:
    case Phase::cancelled:
        return {140, 60};
    case Phase::done:
        return inserted ? QSize(146, 60) : QSize(448, 86);
    case Phase::failed:
    case Phase::note:
        return {448, 86};
    }
    return {448, 86};
}

// --- Entry points --------------------------------------------------------------------------------

void RecordingOverlay::showListening(Phase listening)
{
    m_model->setPhase(listening);
    m_model->setPartial(QString());
    present();
}

void RecordingOverlay::showProcessing(const QString& text)
{
    m_model->setPhase(Phase::processing);
    m_model->setProcessingText(text);
    present();
}

void RecordingOverlay::finish(const QString& text, bool inserted, const std::optional<QString>& copyHint)
{
    m_model->setPhase(Phase::done);
    m_model->setInserted(inserted);
    m_model->setCopyHint(copyHint);
    m_model->setPartial(text);
    m_model->setRetrying(false);
    present();
    gradualFadeOut(inserted ? 900ms : 4500ms, 500ms);
}

void RecordingOverlay::fail(const QString& message)
{
    // A plain failure brings no retry of its own. Whatever an earlier actionable failure left
    // behind must go: its retry would re-run a take that is no longer current, and its kind
    // would claim the raw text had been inserted.
    m_model->setPhase(Phase::failed);
    m_model->setFailKind(OverlayModel::FailKind::asr);
    m_model->setRetryOffered(false);
    m_model->setPartial(message);
    m_model->setRetrying(false);
    present();
    scheduleHide(3500ms);
}

void RecordingOverlay::failActionable(OverlayModel::FailKind kind, const QString& message)
{
    m_model->setPhase(Phase::failed);
    m_model->setFailKind(kind);
    m_model->setRetryOffered(true);
    m_model->setPartial(message);
    m_model->setRetrying(false);
    present();
}

void RecordingOverlay::note(const QString& title, const QString& subtitle)
{
    m_model->setPhase(Phase::note);
    m_model->setPartial(title);
    m_model->setNoteSubtitle(subtitle);
    m_model->setRetrying(false);
    present();
    gradualFadeOut(3500ms, 500ms);
}

void RecordingOverlay::showCancelled()
{
    m_model->setPhase(Phase::cancelled);
    present();
    scheduleHide(900ms);
}

void RecordingOverlay::setPartial(const QString& text)
{
    m_model->setPartial(text);
}

void RecordingOverlay::setRetrying(bool on)
{
    m_model->setRetrying(on);
}

void RecordingOverlay::setLevel(float level)
{
    m_model->levelSample = level;
}

void RecordingOverlay::refreshTheme()
{
    m_model->notifyChanged();
}

void RecordingOverlay::hide()
{
    ++m_fadeSeq;
    fadeOut();
}

// --- Presentation --------------------------------------------------------------------------------

void RecordingOverlay::buildPanel()
{
    auto* view = new OverlayView(m_model, m_clock);
    m_panel = std::make_unique<OverlayPanel>(view, m_compositing.isActive());
    connect(view, &OverlayView::retryClicked, this, &RecordingOverlay::retryFromCapsule);
    connect(view, &OverlayView::closeClicked, this, &RecordingOverlay::closeFromCapsule);
    connect(m_panel.get(), &OverlayPanel::draggedTo, this, &RecordingOverlay::onDragged);
}

void RecordingOverlay::present()
{
    if (!m_panel)
        buildPanel();
    ++m_fadeSeq;
    const QRect target = targetGeometry(sizeForPhase(m_model->phase(), m_model->inserted()));

    if (m_panel->isVisible()) {
        // A capsule caught in a fade-out comes back to full opacity at once.
        if (m_opacityAnimation)
            m_opacityAnimation->stop();
        m_panel->setWindowOpacity(1.0);
        animateGeometry(target, resizeDuration);
        return;
    }

    if (m_geometryAnimation)
        m_geometryAnimation->stop();
    ++m_moveSeq;
    m_panel->setWindowOpacity(m_panel->translucent() ? 0.0 : 1.0);
    m_panel->showAt(target);
    animateOpacity(1.0, fadeInDuration, QEasingCurve::OutCubic);
}

QRect RecordingOverlay::targetGeometry(QSize size)
{
    if (m_userDragged && m_userOrigin) {
        const QRect placed(m_userOrigin->x(), m_userOrigin->y() - size.height(), size.width(), size.height());
        for (const QRect& area : m_screens.availableGeometries()) {
            if (area.intersects(placed))
                return placed;
        }
        // The screen that held it is gone: back to the default place, and forget the drag.
        m_userOrigin.reset();
        m_userDragged = false;
    }
    QRect frame;
    if (const auto active = m_screens.activeAvailableGeometry())
        frame = *active;
    else if (const QList<QRect> areas = m_screens.availableGeometries(); !areas.isEmpty())
        frame = areas.first();
    const int x = int(std::floor(frame.x() + (frame.width() - size.width()) / 2.0));
    const int bottom = frame.y() + frame.height() - bottomOffset;
    return QRect(x, bottom - size.height(), size.width(), size.height());
}

void RecordingOverlay::followActiveScreen()
{
    if (!isShowing() || m_userDragged)
        return;
    const Phase phase = m_model->phase();
    if (phase == Phase::done || phase == Phase::failed || phase == Phase::cancelled || phase == Phase::note)
        return;
    QPointer<RecordingOverlay> self(this);
    m_clock.schedule(followDelay, [self] {
        if (!self || !self->isShowing() || self->m_userDragged)
            return;
        const QRect current = self->m_panel->geometry();
        const QRect target = self->targetGeometry(current.size());
        if (target.topLeft() == current.topLeft())
            return;
        self->animateGeometry(target, followDuration);
    });
}

void RecordingOverlay::onDragged(const QRect& geometry)
{
    // Only the user's own mouse drags arrive here; the user's hand beats any move of ours still
    // under way.
    if (m_geometryAnimation)
        m_geometryAnimation->stop();
    ++m_moveSeq;
    m_userOrigin = QPoint(geometry.x(), geometry.y() + geometry.height());
    m_userDragged = true;
}

void RecordingOverlay::retryFromCapsule()
{
    if (m_model->retryOffered())
        Q_EMIT retryRequested();
}

void RecordingOverlay::closeFromCapsule()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&RecordingOverlay::dismissRequested)))
        Q_EMIT dismissRequested();
    else
        hide();
}

// --- Hiding --------------------------------------------------------------------------------------

void RecordingOverlay::scheduleHide(std::chrono::milliseconds after)
{
    const quint64 seq = m_fadeSeq;
    QPointer<RecordingOverlay> self(this);
    m_clock.schedule(after, [self, seq] {
        if (!self || self->m_fadeSeq != seq)
            return;
        self->m_fadeSeq = seq + 1;
        self->fadeOut();
    });
}

void RecordingOverlay::gradualFadeOut(std::chrono::milliseconds total, std::chrono::milliseconds readHold)
{
    const quint64 seq = ++m_fadeSeq;
    const auto hold = std::min(total, readHold);
    const auto fade = std::max<std::chrono::milliseconds>(total - hold, fadeOutDuration);
    QPointer<RecordingOverlay> self(this);
    m_clock.schedule(hold, [self, seq, fade] {
        if (!self || !self->isShowing() || self->m_fadeSeq != seq)
            return;
        self->animateOpacity(0.0, fade, QEasingCurve::InCubic);
        self->m_clock.schedule(fade, [self, seq] {
            if (self && self->m_fadeSeq == seq)
                self->orderOut();
        });
    });
}

void RecordingOverlay::fadeOut()
{
    if (!isShowing())
        return;
    const quint64 seq = m_fadeSeq;
    animateOpacity(0.0, fadeOutDuration, QEasingCurve::InCubic);
    QPointer<RecordingOverlay> self(this);
    m_clock.schedule(fadeOutDuration, [self, seq] {
        if (self && self->m_fadeSeq == seq)
            self->orderOut();
    });
}

void RecordingOverlay::orderOut()
{
    if (!m_panel)
        return;
    if (m_opacityAnimation)
        m_opacityAnimation->stop();
    m_panel->hide();
    m_panel->setWindowOpacity(1.0);
}

// --- Animations ----------------------------------------------------------------------------------
// The animations only paint the way; what happens at their end is timed by the clock, so the
// sequence rules hold the same with or without a compositor and under a test's manual clock.

void RecordingOverlay::animateOpacity(qreal to, std::chrono::milliseconds duration, QEasingCurve::Type curve)
{
    if (m_opacityAnimation)
        m_opacityAnimation->stop();
    if (!m_panel->translucent()) {
        // Without a compositor opacity cannot show: the capsule stays solid until its fade ends.
        m_panel->setWindowOpacity(1.0);
        return;
    }
    auto* animation = new QPropertyAnimation(m_panel.get(), "windowOpacity", m_panel.get());
    animation->setDuration(int(duration.count()));
    animation->setStartValue(m_panel->windowOpacity());
    animation->setEndValue(to);
    animation->setEasingCurve(curve);
    m_opacityAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void RecordingOverlay::animateGeometry(const QRect& target, std::chrono::milliseconds duration)
{
    if (m_geometryAnimation)
        m_geometryAnimation->stop();
    const quint64 seq = ++m_moveSeq;
    auto* animation = new QPropertyAnimation(m_panel.get(), "geometry", m_panel.get());
    animation->setDuration(int(duration.count()));
    animation->setStartValue(m_panel->geometry());
    animation->setEndValue(target);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    m_geometryAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    QPointer<RecordingOverlay> self(this);
    m_clock.schedule(duration, [self, seq, target] {
        if (!self || self->m_moveSeq != seq)
            return;
        if (self->m_geometryAnimation)
            self->m_geometryAnimation->stop();
        self->m_panel->setGeometry(target);
    });
}
