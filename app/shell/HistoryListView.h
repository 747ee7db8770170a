#pragma once

#include "app/shell/HistoryEntryCard.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QList>
#include <QUuid>

#include <functional>
#include <optional>

class AudioPreview;
class Clock;
class HistoryEntryActions;
class HistoryListModel;
class HistoryStore;

// The scrolling list of history cards. Only the cards in view exist as widgets; they are reused
// as the list scrolls, and a row's height is measured when it first comes into view (an estimate
// stands in until then). The list owns the per-card state (which entry is edited and with what
// text, which is under the pointer), keyed by entry id, so it survives refreshes and reuse; the
// scroll position is held by the entry at the top of the view, so entries added or changed above
// it do not move what the user is reading.
class HistoryListView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr int padding = 16;
    static constexpr int spacing = 12;
    static constexpr int maxWidth = 760;
    static constexpr int estimatedHeight = 110;

    HistoryListView(HistoryListModel& model, HistoryStore& store, AudioPreview& audio, HistoryEntryActions& actions,
                    std::function<void(const QString& path)> reveal, Clock& clock, QWidget* parent = nullptr);

    const std::optional<QUuid>& editingId() const { return m_editingId; }
    const QString& editText() const { return m_editText; }
    const std::optional<QUuid>& hoveredId() const { return m_hoveredId; }

    // The card showing the entry, when it is in view.
    HistoryEntryCard* cardFor(const QUuid& id) const { return m_live.value(id); }
    QList<HistoryEntryCard*> visibleCards() const { return m_live.values(); }
    // Card widgets that exist, in view or kept for reuse.
    int builtCards() const { return int(m_live.size() + m_spare.size()); }
    // Where the row's card begins in the scrolled content.
    int rowTop(int row) const { return m_offsets.value(row, padding); }

    void applyTheme();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void modelChanged();
    void forgetHeights(const QModelIndex& first, const QModelIndex& last);
    void rebuildHeights();
    void rebuildOffsets();
    void relayout();
    void placeCards();
    void rememberAnchor();
    int contentHeight() const;
    int cardWidth() const;
    QPair<int, int> rowsInView() const;
    HistoryEntryCard* cardForRow(int row, QHash<QUuid, HistoryEntryCard*>& previous);
    HistoryEntryCard* makeCard();
    HistoryEntryCard::Look lookFor(const HistoryEntry& entry) const;
    void rebindVisible();
    void openEditor(const HistoryEntry& entry);
    void save(const HistoryEntry& entry, const QString& text);
    void hover(const QUuid& id, bool inside);

    HistoryListModel& m_model;
    HistoryStore& m_store;
    AudioPreview& m_audio;
    HistoryEntryActions& m_actions;
    std::function<void(const QString& path)> m_reveal;
    Clock& m_clock;

    std::optional<QUuid> m_editingId;
    QString m_editText;
    std::optional<QUuid> m_hoveredId;

    // Per row, in model order; m_offsets has one more element, the end of the last card.
    QList<int> m_heights;
    QList<int> m_offsets;
    // Measured heights at m_measuredWidth, by entry.
    QHash<QUuid, int> m_measured;
    int m_measuredWidth = -1;

    QHash<QUuid, HistoryEntryCard*> m_live;
    QList<HistoryEntryCard*> m_spare;

    std::optional<QUuid> m_anchorId;
    int m_anchorDelta = 0;
    bool m_atTop = true;
    bool m_laying = false;
};
