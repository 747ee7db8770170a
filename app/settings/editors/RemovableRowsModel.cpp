#include "app/settings/editors/RemovableRowsModel.h"

#include <algorithm>

RemovableRowsModel::Change RemovableRowsModel::diff(const QList<Row>& before, const QList<Row>& after)
{
    const qsizetype oldCount = before.size();
    const qsizetype newCount = after.size();
    Change change;
    qsizetype& head = change.head;
    while (head < oldCount && head < newCount && before[head].key == after[head].key)
        ++head;
    qsizetype tail = 0;
    while (tail < oldCount - head && tail < newCount - head &&
           before[oldCount - 1 - tail].key == after[newCount - 1 - tail].key)
        ++tail;
    change.removed = oldCount - tail - head;
    change.inserted = after.mid(head, newCount - tail - head);

    // The rows that stayed may show new texts (a rule's right side, a hit count).
    qsizetype lastChanged = -1;
    const auto compare = [&](qsizetype oldRow, qsizetype newRow) {
        if (before[oldRow].text != after[newRow].text || before[oldRow].detail != after[newRow].detail) {
            if (change.firstChanged < 0)
                change.firstChanged = newRow;
            lastChanged = newRow;
        }
    };
    for (qsizetype row = 0; row < head; ++row)
        compare(row, row);
    for (qsizetype i = tail; i > 0; --i)
        compare(oldCount - i, newCount - i);
    if (change.firstChanged >= 0)
        change.changed = after.mid(change.firstChanged, lastChanged - change.firstChanged + 1);
    return change;
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
