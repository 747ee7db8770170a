#include "app/shell/HistoryListModel.h"

#include "app/shell/EntryAction.h"

#include <QSet>

HistoryListModel::HistoryListModel(QObject* parent)
    : QAbstractListModel(parent)
{}

void HistoryListModel::setEntries(const QList<HistoryEntry>& all)
{
    m_all = all;
    m_counts.clear();
    for (const HistoryEntry& entry : std::as_const(m_all))
        ++m_counts[EntryAction::filterValue(entry)];
    apply(listed());
}

void HistoryListModel::setFilter(const std::optional<QString>& action)
{
    if (m_filter == action)
        return;
    m_filter = action;
    // Another filter shows another list from its top: one reset lays the view out once, where
    // removing and inserting the rows in runs would lay it out again after each run.
    beginResetModel();
    m_rows = listed();
    endResetModel();
}

int HistoryListModel::count(const std::optional<QString>& action) const
{
    if (!action)
        return int(m_all.size());
    return m_counts.value(*action);
}

int HistoryListModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).id == id)
            return row;
    }
    return -1;
}

int HistoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const HistoryEntry& entry = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return entry.finalText;
    case IdRole:
        return entry.id;
    case FilterValueRole:
        return EntryAction::filterValue(entry);
    default:
        return {};
    }
}

QHash<int, QByteArray> HistoryListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "entryId");
    names.insert(FilterValueRole, "action");
    return names;
}

QList<HistoryEntry> HistoryListModel::listed() const
{
    if (!m_filter)
        return m_all;
    QList<HistoryEntry> rows;
    for (const HistoryEntry& entry : m_all) {
        if (EntryAction::filterValue(entry) == *m_filter)
            rows.append(entry);
    }
    return rows;
}

void HistoryListModel::apply(const QList<HistoryEntry>& wanted)
{
    removeMissing(wanted);
    // The store never reorders entries, so the survivors keep their order; should that ever not
    // hold, a reset is still correct, merely less kind to the view.
    qsizetype next = 0;
    for (const HistoryEntry& row : std::as_const(m_rows)) {
        while (next < wanted.size() && wanted.at(next).id != row.id)
            ++next;
        if (next == wanted.size()) {
            beginResetModel();
            m_rows = wanted;
            endResetModel();
            return;
        }
        ++next;
    }
    insertAndUpdate(wanted);
}

void HistoryListModel::removeMissing(const QList<HistoryEntry>& wanted)
{
    QSet<QUuid> keep;
    keep.reserve(wanted.size());
    for (const HistoryEntry& entry : wanted)
        keep.insert(entry.id);
    // From the end, so the rows still to look at keep their numbers.
    int row = int(m_rows.size()) - 1;
    while (row >= 0) {
        if (keep.contains(m_rows.at(row).id)) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && !keep.contains(m_rows.at(row - 1).id))
            --row;
        beginRemoveRows(QModelIndex(), row, last);
        m_rows.remove(row, last - row + 1);
        endRemoveRows();
        --row;
    }
}

void HistoryListModel::insertAndUpdate(const QList<HistoryEntry>& wanted)
{
    int row = 0;
    while (row < wanted.size()) {
        if (row < m_rows.size() && m_rows.at(row).id == wanted.at(row).id) {
            if (m_rows.at(row) != wanted.at(row)) {
                m_rows[row] = wanted.at(row);
                const QModelIndex changed = index(row);
                Q_EMIT dataChanged(changed, changed);
            }
            ++row;
            continue;
        }
        // Every row still listed is somewhere in wanted, in order: the entries before the next
        // listed one are new.
        int end = row;
        while (end < wanted.size() && (row >= m_rows.size() || wanted.at(end).id != m_rows.at(row).id))
            ++end;
        beginInsertRows(QModelIndex(), row, end - 1);
        m_rows = m_rows.first(row) + wanted.mid(row, end - row) + m_rows.sliced(row);
        endInsertRows();
        row = end;
    }
}
