#include "app/shell/HistoryListView.h"

#include "app/controller/HistoryEntryActions.h"
#include "app/feedback/AudioPreview.h"
#include "app/shell/HistoryListModel.h"
#include "app/ui/Theme.h"
#include "core/store/HistoryStore.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>

HistoryListView::HistoryListView(HistoryListModel& model, HistoryStore& store, AudioPreview& audio,
                                 HistoryEntryActions& actions, std::function<void(const QString& path)> reveal,
                                 Clock& clock, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_model(model)
    , m_store(store)
    , m_audio(audio)
    , m_actions(actions)
    , m_reveal(std::move(reveal))
    , m_clock(clock)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(24);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &HistoryListView::modelChanged);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &HistoryListView::modelChanged);
    // A reset is another list (a new filter): it is read from its top.
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_atTop = true;
        m_anchorId.reset();
        modelChanged();
    });
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                forgetHeights(first, last);
                modelChanged();
            });
    connect(&m_audio, &AudioPreview::stateChanged, this, &HistoryListView::rebindVisible);
    rebuildHeights();
    applyTheme();
}

void HistoryListView::applyTheme()
{
    // The desktop's scroll bar would stay light on a dark skin.
    const ThemePalette& palette = Theme::palette();
    QPalette colours = verticalScrollBar()->palette();
    colours.setColor(QPalette::Window, Theme::color(palette.bg));
    colours.setColor(QPalette::Base, Theme::color(palette.bg));
    colours.setColor(QPalette::Button, Theme::color(palette.bgSub));
    colours.setColor(QPalette::Light, Theme::color(palette.bgSub));
    colours.setColor(QPalette::Midlight, Theme::color(palette.bgSub));
    colours.setColor(QPalette::Mid, Theme::color(palette.hairline));
    colours.setColor(QPalette::Dark, Theme::color(palette.hairline));
    colours.setColor(QPalette::Shadow, Theme::color(palette.hairline));
    colours.setColor(QPalette::ButtonText, Theme::color(palette.textFaint));
    verticalScrollBar()->setPalette(colours);
    for (HistoryEntryCard* card : std::as_const(m_live))
        card->applyTheme();
    viewport()->update();
}

void HistoryListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void HistoryListView::scrollContentsBy(int, int)
{
    if (m_laying)
        return;
    rememberAnchor();
    relayout();
}

bool HistoryListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), Theme::color(Theme::palette().bg));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void HistoryListView::modelChanged()
{
    // Entries that left the list take their state with them.
    if (m_hoveredId && m_model.rowOf(*m_hoveredId) < 0)
        m_hoveredId.reset();
    rebuildHeights();
    relayout();
}

void HistoryListView::forgetHeights(const QModelIndex& first, const QModelIndex& last)
{
    for (int row = first.row(); row <= last.row(); ++row)
        m_measured.remove(m_model.entryAt(row).id);
}

void HistoryListView::rebuildHeights()
{
    const int rows = m_model.rowCount();
    m_heights.resize(rows);
    for (int row = 0; row < rows; ++row)
        m_heights[row] = m_measured.value(m_model.entryAt(row).id, estimatedHeight);
    rebuildOffsets();
}

void HistoryListView::rebuildOffsets()
{
    m_offsets.resize(m_heights.size() + 1);
    int y = padding;
    for (qsizetype row = 0; row < m_heights.size(); ++row) {
        m_offsets[row] = y;
        y += m_heights.at(row) + spacing;
    }
    m_offsets[m_heights.size()] = m_heights.isEmpty() ? y : y - spacing;
}

int HistoryListView::contentHeight() const
{
    return m_offsets.last() + padding;
}

int HistoryListView::cardWidth() const
{
    return std::max(1, std::min(viewport()->width(), maxWidth) - 2 * padding);
}

QPair<int, int> HistoryListView::rowsInView() const
{
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    // The first row whose card ends below the top of the view.
    const auto first = std::upper_bound(m_offsets.cbegin() + 1, m_offsets.cend(), top);
    // A view shorter than the padding can be scrolled past the last card's end.
    int row = std::min(int(first - m_offsets.cbegin()) - 1, int(m_heights.size()) - 1);
    int last = row;
    while (last + 1 < m_heights.size() && m_offsets.at(last + 1) < bottom)
        ++last;
    return {row, std::min(last, int(m_heights.size()) - 1)};
}

void HistoryListView::rememberAnchor()
{
    const int top = verticalScrollBar()->value();
    m_atTop = top <= 0;
    if (m_heights.isEmpty()) {
        m_anchorId.reset();
        return;
    }
    const int row = rowsInView().first;
    m_anchorId = m_model.entryAt(row).id;
    m_anchorDelta = top - m_offsets.at(row);
}

void HistoryListView::relayout()
{
    const QSignalBlocker quietBar(verticalScrollBar());
    m_laying = true;
    if (cardWidth() != m_measuredWidth) {
        m_measured.clear();
        m_measuredWidth = cardWidth();
        rebuildHeights();
    }
    // Measuring the rows that come into view can change the heights above the anchor; a few
    // rounds settle it, since each round only measures rows that were still estimates.
    for (int round = 0; round < 4; ++round) {
        int target = 0;
        if (!m_atTop && m_anchorId) {
            const int anchorRow = m_model.rowOf(*m_anchorId);
            target = anchorRow >= 0 ? m_offsets.at(anchorRow) + m_anchorDelta : verticalScrollBar()->value();
        }
        verticalScrollBar()->setRange(0, std::max(0, contentHeight() - viewport()->height()));
        verticalScrollBar()->setPageStep(viewport()->height());
        verticalScrollBar()->setValue(target);
        bool changed = false;
        if (!m_heights.isEmpty()) {
            const auto [first, last] = rowsInView();
            for (int row = first; row <= last; ++row) {
                const HistoryEntry& entry = m_model.entryAt(row);
                if (m_measured.contains(entry.id))
                    continue;
                QHash<QUuid, HistoryEntryCard*> none;
                HistoryEntryCard* card = cardForRow(row, none);
                const int height = card->heightForWidth(m_measuredWidth);
                m_measured.insert(entry.id, height > 0 ? height : card->sizeHint().height());
                changed |= m_measured.value(entry.id) != m_heights.at(row);
                m_heights[row] = m_measured.value(entry.id);
            }
        }
        if (!changed)
            break;
        rebuildOffsets();
    }
    placeCards();
    if (m_anchorId && m_model.rowOf(*m_anchorId) < 0)
        rememberAnchor();
    m_laying = false;
}

void HistoryListView::placeCards()
{
    QHash<QUuid, HistoryEntryCard*> previous = std::exchange(m_live, {});
    if (!m_heights.isEmpty()) {
        const int top = verticalScrollBar()->value();
        const int x = (viewport()->width() - std::min(viewport()->width(), maxWidth)) / 2 + padding;
        const auto [first, last] = rowsInView();
        for (int row = first; row <= last; ++row) {
            HistoryEntryCard* card = cardForRow(row, previous);
            m_live.insert(card->entry().id, card);
            card->setGeometry(x, m_offsets.at(row) - top, m_measuredWidth, m_heights.at(row));
            card->show();
        }
    }
    for (HistoryEntryCard* card : std::as_const(previous)) {
        card->hide();
        m_spare.append(card);
    }
}

HistoryEntryCard* HistoryListView::cardForRow(int row, QHash<QUuid, HistoryEntryCard*>& previous)
{
    const HistoryEntry& entry = m_model.entryAt(row);
    // The card that already shows the entry keeps it: its editor keeps focus and cursor.
    HistoryEntryCard* card = previous.take(entry.id);
    if (!card)
        card = m_live.take(entry.id);
    if (!card)
        card = m_spare.isEmpty() ? makeCard() : m_spare.takeLast();
    m_live.insert(entry.id, card);
    card->resize(m_measuredWidth, card->height());
    card->bind(entry, lookFor(entry));
    return card;
}

HistoryEntryCard* HistoryListView::makeCard()
{
    auto* card = new HistoryEntryCard(m_clock, viewport());
    connect(card, &HistoryEntryCard::playRequested, this,
            [this](const HistoryEntry& entry, const QString& path) { m_audio.play(path, entry.id); });
    connect(card, &HistoryEntryCard::stopRequested, this, [this] { m_audio.stop(); });
    connect(card, &HistoryEntryCard::revealRequested, this, [this](const QString& path) { m_reveal(path); });
    connect(card, &HistoryEntryCard::retranscribeRequested, this,
            [this](const HistoryEntry& entry) { m_actions.retranscribe(entry); });
    connect(card, &HistoryEntryCard::editRequested, this, &HistoryListView::openEditor);
    connect(card, &HistoryEntryCard::saveRequested, this, &HistoryListView::save);
    connect(card, &HistoryEntryCard::editTextChanged, this, [this](const QString& text) {
        m_editText = text;
        if (m_editingId)
            m_measured.remove(*m_editingId);
        rememberAnchor();
        relayout();
    });
    connect(card, &HistoryEntryCard::hoverChanged, this, &HistoryListView::hover);
    return card;
}

HistoryEntryCard::Look HistoryListView::lookFor(const HistoryEntry& entry) const
{
    HistoryEntryCard::Look look;
    look.editing = m_editingId == entry.id;
    if (look.editing)
        look.editText = m_editText;
    look.hovered = m_hoveredId == entry.id;
    look.playing = m_audio.isPlaying() && m_audio.currentId() == entry.id;
    look.audioPath = m_store.audioURL(entry);
    return look;
}

void HistoryListView::rebindVisible()
{
    for (HistoryEntryCard* card : std::as_const(m_live))
        card->bind(card->entry(), lookFor(card->entry()));
}

void HistoryListView::openEditor(const HistoryEntry& entry)
{
    // One editor at a time: opening another drops the first one's unsaved text.
    if (m_editingId)
        m_measured.remove(*m_editingId);
    m_editingId = entry.id;
    m_editText = entry.finalText;
    m_measured.remove(entry.id);
    rememberAnchor();
    rebuildHeights();
    relayout();
    if (HistoryEntryCard* card = cardFor(entry.id))
        card->editor()->setFocus();
}

void HistoryListView::save(const HistoryEntry& entry, const QString& text)
{
    m_actions.correctHistory(entry, text);
    m_editingId.reset();
    m_editText.clear();
    m_measured.remove(entry.id);
    rememberAnchor();
    rebuildHeights();
    relayout();
}

void HistoryListView::hover(const QUuid& id, bool inside)
{
    if (inside)
        m_hoveredId = id;
    else if (m_hoveredId == id)
        m_hoveredId.reset();
    else
        return;
    rebindVisible();
}
