#pragma once

#include "app/feedback/AnswerModel.h"

#include <QObject>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRect>

#include <chrono>
#include <memory>
#include <optional>

class AnswerPanel;
class AnswerView;
class Clipboard;
class Clock;
class Compositing;
class OverlayScreens;
class TextInserter;

// The floating card that shows the answer to a spoken question at the top-right corner of the
// screen the user works on. The dictation controller drives it; the card stays until the user
// closes it or the answer has been inserted. Main thread only; all waiting goes through the
// clock.
class AnswerPopup : public QObject
{
    Q_OBJECT

public:
    static constexpr int edgeMargin = 24;
    static constexpr std::chrono::milliseconds fadeDuration{160};
    static constexpr std::chrono::milliseconds closeAfterInsert{400};

    AnswerPopup(TextInserter& inserter, Clipboard& clipboard, Clock& clock, OverlayScreens& screens,
                const Compositing& compositing, QObject* parent = nullptr);
    ~AnswerPopup() override;

    // The question has been heard; the answer is awaited.
    void thinking(const QString& question);
    // The answer, and the application that was in front when the question was asked, by its
    // lower-cased window class (the design's name says bundle id).
    void answer(const QString& question, const QString& answer, const std::optional<QString>& targetBundleId);
    // The ask failed; description is the error's text for the user.
    void failed(const QString& description);

    // Shows the card; a card already on screen only changes its content.
    void present();
    // Fades the card out.
    void hide();
    // Redraws the card in the current skin.
    void refreshTheme();

    // The insert control: into the target application, else onto the clipboard.
    void insertAnswer();

    AnswerModel* model() const { return m_model; }
    AnswerPanel* panel() const { return m_panel.get(); }
    AnswerView* view() const;
    bool isShowing() const;
    // Where a newly presented card goes.
    QRect targetGeometry() const;

private:
    void buildPanel();
    void newContent();
    void fallBackToCopy(const QString& text);
    void animateOpacity(qreal to);

    TextInserter& m_inserter;
    Clipboard& m_clipboard;
    Clock& m_clock;
    OverlayScreens& m_screens;
    const Compositing& m_compositing;
    AnswerModel* m_model;
    std::unique_ptr<AnswerPanel> m_panel;
    QPointer<QPropertyAnimation> m_opacityAnimation;
    // Grows with every presentation and hide, so a fade-out's end only hides the card when
    // nothing was presented meanwhile.
    quint64 m_fadeSeq = 0;
    bool m_fadingOut = false;
    // Grows with every new question or answer, so late insertion outcomes and the delayed
    // close act only on the answer they belong to.
    quint64 m_contentSeq = 0;
    // Where the last insertion of the current answer stands.
    enum class Delivery
    {
        none,
        pending,
        awaitedForClose,
        delivered
    };
    Delivery m_delivery = Delivery::none;
};
