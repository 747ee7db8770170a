#pragma once

#include "core/store/HistoryEntry.h"

#include <QString>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class ChipLabel;
class Clock;
class CopyIconButton;
class HistoryIconButton;
class QGraphicsOpacityEffect;
class QLabel;
class QPlainTextEdit;
class QToolButton;
class WrappingText;

// One history entry as the main window lists it: the text (or the correction editor), the meta
// row with time, action, mode and the actions, and the words as spoken when they differ. The
// card keeps no state of its own: the list owns which entry is edited, hovered and playing, and
// hands it over at every bind, so a card can be reused for another entry at any time.
class HistoryEntryCard : public QWidget
{
    Q_OBJECT

public:
    struct Look
    {
        bool editing = false;
        // The editor's text; read only while editing.
        QString editText;
        bool hovered = false;
        bool playing = false;
        // The saved recording, when there is one.
        std::optional<QString> audioPath;
    };

    static constexpr int actionFadeMs = 150;
    static constexpr qreal editorRadius = 8;

    explicit HistoryEntryCard(Clock& clock, QWidget* parent = nullptr);

    // Shows the entry. Rebinding the same entry keeps the editor's cursor and the row's fade.
    void bind(const HistoryEntry& entry, const Look& look);
    // Re-reads the skin's colours.
    void applyTheme();

    const HistoryEntry& entry() const { return m_entry; }
    const Look& look() const { return m_look; }
    // 1 when the actions are shown, 0 when hidden (they keep their place either way).
    qreal actionsOpacity() const;

    // The pieces, for the list's tests and renders.
    WrappingText* textLabel() const { return m_text; }
    // Null until the card first edits an entry.
    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* sourceLabel() const { return m_source; }
    ChipLabel* actionChip() const { return m_actionChip; }
    ChipLabel* modeChip() const { return m_modeChip; }
    // Says where the microphone cut the take; hidden for a whole one.
    ChipLabel* cutChip() const { return m_cutChip; }
    HistoryIconButton* playButton() const { return m_play; }
    HistoryIconButton* revealButton() const { return m_reveal; }
    HistoryIconButton* retranscribeButton() const { return m_retranscribe; }
    CopyIconButton* copyButton() const { return m_copy; }
    QToolButton* correctButton() const { return m_correct; }

Q_SIGNALS:
    void playRequested(const HistoryEntry& entry, const QString& path);
    void stopRequested();
    void revealRequested(const QString& path);
    void retranscribeRequested(const HistoryEntry& entry);
    // "校对": open the editor on this entry.
    void editRequested(const HistoryEntry& entry);
    // "保存并学习" with the editor's text as typed.
    void saveRequested(const HistoryEntry& entry, const QString& text);
    void editTextChanged(const QString& text);
    void hoverChanged(const QUuid& id, bool inside);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QWidget* buildMetaRow();
    void showActions(bool shown, bool animate);
    void fitEditor();
    QPlainTextEdit* ensureEditor();

    Clock& m_clock;
    HistoryEntry m_entry;
    Look m_look;
    WrappingText* m_text;
    QPlainTextEdit* m_editor = nullptr;
    QLabel* m_time = nullptr;
    ChipLabel* m_actionChip = nullptr;
    ChipLabel* m_modeChip = nullptr;
    ChipLabel* m_cutChip = nullptr;
    QWidget* m_actions = nullptr;
    QGraphicsOpacityEffect* m_actionsEffect = nullptr;
    QVariantAnimation m_fade;
    HistoryIconButton* m_play = nullptr;
    HistoryIconButton* m_reveal = nullptr;
    HistoryIconButton* m_retranscribe = nullptr;
    CopyIconButton* m_copy = nullptr;
    QToolButton* m_correct = nullptr;
    QLabel* m_source;
};
