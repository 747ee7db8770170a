#include "app/settings/editors/RemovableRowsModel.h"

#include <algorithm>

RemovableRowsModel::Change RemovableRowsModel::diff(const QList<Row>& before, const QList<Row>& after)
{
    return diff(
        before, after, [](const Row& a, const Row& b) { return a.key == b.key; },
        [](const Row& a, const Row& b) { return a.text == b.text && a.detail == b.detail; },
        [](const Row& row) { return row; });
}

void RemovableRowsModel::apply(const Change& change)
{
    if (change.removed > 0) {
        beginRemoveRows(QModelIndex(), int(change.head), int(change.head + change.removed - 1));
        m_rows.remove(change.head, change.removed);
        endRemoveRows();
    }
    if (!change.inserted.isEmpty()) {
        beginInsertRows(QModelIndex(), int(change.head), int(change.head + change.inserted.size() - 1));
        if (m_rows.isEmpty()) {
            // A first fill shares the list instead of copying it.
            m_rows = change.inserted;
        } else {
            m_rows.insert(change.head, change.inserted.size(), Row());
            std::copy(change.inserted.cbegin(), change.inserted.cend(), m_rows.begin() + change.head);
        }
        endInsertRows();
    }
    if (change.firstChanged >= 0) {
        std::copy(change.changed.cbegin(), change.changed.cend(), m_rows.begin() + change.firstChanged);
        Q_EMIT dataChanged(index(int(change.firstChanged)),
                           index(int(change.firstChanged + change.changed.size() - 1)));
    }
}

int RemovableRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant RemovableRowsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.text;
    case DetailRole:
        return row.detail;
    case KeyRole:
        return row.key;
    default:
        return {};
    }
}
