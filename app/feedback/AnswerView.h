#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

class AnswerActionButton;
class AnswerModel;
class Clock;
class CopyIconButton;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QAbstractButton;

// The answer card: the question in its header, then a progress line, the answer (scrollable,
// selectable, with copy and insert controls) or the failure. Redraws from the model whenever it
// changes.
class AnswerView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cardWidth = 480;
    static constexpr int cardHeight = 380;
    static constexpr int inset = 16;
    static constexpr qreal cornerRadius = 16;

    AnswerView(AnswerModel* model, Clock& clock, QWidget* parent = nullptr);

    // Set when the answer was inserted, or went to the clipboard because it could not be;
    // "inserted" wins when both are set.
    void setInserted(bool inserted);
    void setFellBackToCopy(bool fellBack);
    bool inserted() const { return m_inserted; }
    bool fellBackToCopy() const { return m_fellBackToCopy; }

    // When set, the card is painted without see-through parts (no compositor behind it).
    void setOpaque(bool opaque);

    // For the card's own checks and for tests.
    QString headerText() const;
    QLabel* questionLabel() const { return m_question; }
    QLabel* answerLabel() const { return m_answer; }
    QLabel* failureLabel() const { return m_failure; }
    QScrollArea* answerScroll() const { return m_scroll; }
    QWidget* thinkingRow() const { return m_thinking; }
    QWidget* footer() const { return m_footer; }
    CopyIconButton* copyButton() const { return m_copy; }
    AnswerActionButton* actionButton() const { return m_action; }
    QAbstractButton* closeButton() const { return m_close; }
    QWidget* currentBody() const;

    // The question as the header shows it: "提问" when empty, cut after the second line.
    static QString headerFor(const QString& question, const QFont& font, int width);

Q_SIGNALS:
    // The close button was pressed.
    void closeClicked();
    // The insert control was pressed.
    void insertClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void applyColours();
    void updateActionLook();

    QPointer<AnswerModel> m_model;
    QLabel* m_question = nullptr;
    QAbstractButton* m_close = nullptr;
    QStackedWidget* m_body = nullptr;
    QWidget* m_thinking = nullptr;
    QLabel* m_thinkingText = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_answer = nullptr;
    QWidget* m_failed = nullptr;
    QLabel* m_failure = nullptr;
    QWidget* m_footer = nullptr;
    CopyIconButton* m_copy = nullptr;
    AnswerActionButton* m_action = nullptr;
    bool m_inserted = false;
    bool m_fellBackToCopy = false;
    bool m_opaque = false;
};
