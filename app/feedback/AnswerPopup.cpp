#include "app/feedback/AnswerPopup.h"

#include "app/desktop/TextInserter.h"
#include "app/feedback/AnswerPanel.h"
#include "app/feedback/AnswerView.h"
#include "app/feedback/OverlayScreens.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/Compositing.h"

AnswerPopup::AnswerPopup(TextInserter& inserter, Clipboard& clipboard, Clock& clock, OverlayScreens& screens,
                         const Compositing& compositing, QObject* parent)
    : QObject(parent)
    , m_inserter(inserter)
    , m_clipboard(clipboard)
    , m_clock(clock)
    , m_screens(screens)
    , m_compositing(compositing)
    , m_model(new AnswerModel(this))
{}

AnswerPopup::~AnswerPopup() = default;

AnswerView* AnswerPopup::view() const
{
    return m_panel ? m_panel->view() : nullptr;
}

bool AnswerPopup::isShowing() const
{
    return m_panel && m_panel->isVisible();
}

void AnswerPopup::thinking(const QString& question)
{
    newContent();
    m_model->setPhase(AnswerModel::Phase::thinking);
    m_model->setQuestion(question);
    m_model->setAnswer(QString());
    present();
}

void AnswerPopup::answer(const QString& question, const QString& answer, const std::optional<QString>& targetBundleId)
{
    newContent();
    m_model->setPhase(AnswerModel::Phase::answer);
    m_model->setQuestion(question);
    m_model->setAnswer(answer);
    m_model->setTargetBundleId(targetBundleId);
    present();
}

void AnswerPopup::failed(const QString& description)
{
    newContent();
    m_model->setPhase(AnswerModel::Phase::failed);
    m_model->setAnswer(QStringLiteral("回答失败：") + description);
    present();
}

void AnswerPopup::newContent()
{
    ++m_contentSeq;
    m_delivery = Delivery::none;
    // A new answer starts with the plain insert control, whatever happened to the last one.
    if (AnswerView* v = view()) {
        v->setInserted(false);
        v->setFellBackToCopy(false);
    }
}

void AnswerPopup::present()
{
    if (!m_panel)
        buildPanel();
    if (!m_panel)
        return;
    ++m_fadeSeq;
    if (m_panel->isVisible()) {
        // Caught while fading out: it stays, at full opacity, where it is.
        if (m_fadingOut) {
            m_fadingOut = false;
            if (m_opacityAnimation)
                m_opacityAnimation->stop();
            m_panel->setWindowOpacity(1.0);
        }
        return;
    }
    m_panel->setWindowOpacity(0.0);
    m_panel->showAt(targetGeometry());
    animateOpacity(1.0);
    // The animation only paints the way; its end is timed by the clock like the fade-out's.
    const quint64 seq = m_fadeSeq;
    QPointer<AnswerPopup> self(this);
    m_clock.schedule(fadeDuration, [self, seq] {
        if (!self || self->m_fadeSeq != seq || !self->m_panel)
            return;
        if (self->m_opacityAnimation)
            self->m_opacityAnimation->stop();
        self->m_panel->setWindowOpacity(1.0);
    });
}

void AnswerPopup::hide()
{
    if (!isShowing())
        return;
    const quint64 seq = ++m_fadeSeq;
    m_fadingOut = true;
    animateOpacity(0.0);
    QPointer<AnswerPopup> self(this);
    m_clock.schedule(fadeDuration, [self, seq] {
        if (!self || self->m_fadeSeq != seq || !self->m_panel)
            return;
        self->m_fadingOut = false;
        if (self->m_opacityAnimation)
            self->m_opacityAnimation->stop();
        self->m_panel->hide();
        self->m_panel->setWindowOpacity(1.0);
    });
}

void AnswerPopup::refreshTheme()
{
    m_model->notifyChanged();
}

QRect AnswerPopup::targetGeometry() const
{
    std::optional<QRect> area = m_screens.activeAvailableGeometry();
    if (!area) {
        const QList<QRect> all = m_screens.availableGeometries();
        area = all.isEmpty() ? QRect() : all.first();
    }
    const QSize size(AnswerView::cardWidth, AnswerView::cardHeight);
    return QRect(QPoint(area->x() + area->width() - size.width() - edgeMargin, area->y() + edgeMargin), size);
}

void AnswerPopup::insertAnswer()
{
    const QString text = m_model->answer();
    const quint64 seq = m_contentSeq;
    m_delivery = Delivery::pending;
    QPointer<AnswerPopup> self(this);
    const bool ok = m_inserter.insert(text, m_model->targetBundleId(), [self, seq, text](bool delivered) {
        if (!self || self->m_contentSeq != seq)
            return;
        if (!delivered) {
            // A scheduled insertion can still fail (the target never came to the front); the
            // card then says where the answer went instead of claiming it was inserted.
            self->m_delivery = Delivery::none;
            self->fallBackToCopy(text);
            return;
        }
        const bool closeNow = self->m_delivery == Delivery::awaitedForClose;
        self->m_delivery = Delivery::delivered;
        if (closeNow)
            self->hide();
    });
    if (!ok) {
        m_delivery = Delivery::none;
        fallBackToCopy(text);
        return;
    }
    if (AnswerView* v = view())
        v->setInserted(true);
    m_clock.schedule(closeAfterInsert, [self, seq] {
        if (!self || self->m_contentSeq != seq)
            return;
        AnswerView* v = self->view();
        if (!v || !v->inserted())
            return;
        // Closed only once the answer has really arrived; until then the card can still turn
        // into the clipboard notice.
        if (self->m_delivery == Delivery::delivered)
            self->hide();
        else if (self->m_delivery == Delivery::pending)
            self->m_delivery = Delivery::awaitedForClose;
    });
}

void AnswerPopup::fallBackToCopy(const QString& text)
{
    m_clipboard.setText(text);
    if (AnswerView* v = view()) {
        v->setInserted(false);
        v->setFellBackToCopy(true);
    }
}

void AnswerPopup::buildPanel()
{
    auto* view = new AnswerView(m_model, m_clock);
    connect(view, &AnswerView::closeClicked, this, &AnswerPopup::hide);
    connect(view, &AnswerView::insertClicked, this, &AnswerPopup::insertAnswer);
    m_panel = std::make_unique<AnswerPanel>(view, m_compositing.isActive());
}

void AnswerPopup::animateOpacity(qreal to)
{
    if (m_opacityAnimation)
        m_opacityAnimation->stop();
    if (!m_compositing.isActive()) {
        // Opacity cannot show without a compositor: the card simply appears and, at the end of
        // its fade, disappears.
        m_panel->setWindowOpacity(1.0);
        return;
    }
    auto* animation = new QPropertyAnimation(m_panel.get(), "windowOpacity", m_panel.get());
    animation->setDuration(int(fadeDuration.count()));
    animation->setStartValue(m_panel->windowOpacity());
    animation->setEndValue(to);
    m_opacityAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
