#pragma once

#include "core/store/HistoryEntry.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUuid>

#include <optional>

// The history as the main window lists it: the entries of the chosen action, newest first. A
// refresh is applied entry by entry (rows of removed entries go, new ones are inserted, changed
// ones report a change), never as a reset, so the list keeps its scroll position and an open
// correction editor across the refreshes that every history change causes. A new filter is a
// reset: the list starts again from its top. Main thread only.
class HistoryListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        IdRole = Qt::UserRole + 1,
        FilterValueRole,
    };

    explicit HistoryListModel(QObject* parent = nullptr);

    // The whole history, newest first (as the store lists it).
    void setEntries(const QList<HistoryEntry>& all);
    // The action whose entries are listed; std::nullopt lists every entry.
    void setFilter(const std::optional<QString>& action);
    const std::optional<QString>& filter() const { return m_filter; }

    // Entries of the whole history with that action (all of them for std::nullopt), whatever
    // the filter.
    int count(const std::optional<QString>& action) const;
    bool historyEmpty() const { return m_all.isEmpty(); }

    const HistoryEntry& entryAt(int row) const { return m_rows.at(row); }
    // The row of the entry, or -1 when it is not listed.
    int rowOf(const QUuid& id) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<HistoryEntry> listed() const;
    void apply(const QList<HistoryEntry>& wanted);
    void removeMissing(const QList<HistoryEntry>& wanted);
    void insertAndUpdate(const QList<HistoryEntry>& wanted);

    QList<HistoryEntry> m_all;
    // Entries of m_all by filter value.
    QHash<QString, int> m_counts;
    std::optional<QString> m_filter;
    QList<HistoryEntry> m_rows;
};
