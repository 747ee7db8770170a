#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

#include <functional>

class Clock;
class PressableIconStyle;

// The one copy control: puts its owner's current text on the clipboard and confirms with a
// checkmark for 1.2 s after the last tap. Three looks, one per place it is used.
class CopyIconButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Host
    {
        historyRow,
        overlayDone,
        answerPopup
    };

    static constexpr std::chrono::milliseconds revertDelay{1200};
    static constexpr int swapMs = 200;

    // text is called at every tap, so the newest text of the owner is copied.
    CopyIconButton(Host host, const QString& help, std::function<QString()> text, Clock& clock,
                   QWidget* parent = nullptr);

    Host host() const { return m_host; }
    bool copied() const { return m_copied; }
    int revertSeq() const { return m_revertSeq; }
    bool hovering() const { return m_hovering; }
    // The symbol shown now: "checkmark" while copied, else "doc.on.doc".
    QString symbolName() const;
    // The title of the answerPopup look; empty for the others.
    QString title() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void doCopy();
    void setCopied(bool copied);
    QColor symbolColour(bool copied) const;

    Host m_host;
    std::function<QString()> m_text;
    Clock& m_clock;
    PressableIconStyle* m_pressable = nullptr;
    bool m_copied = false;
    int m_revertSeq = 0;
    bool m_hovering = false;
    // 0 shows the copy symbol, 1 the checkmark; eased so the symbols cross-fade.
    QVariantAnimation m_swap;
    qreal m_swapAmount = 0.0;
};
