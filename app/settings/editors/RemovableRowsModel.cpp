#include "app/settings/editors/RemovableRowsModel.h"

#include <algorithm>

void RemovableRowsModel::setRows(const QList<Row>& rows)
{
    const qsizetype oldCount = m_rows.size();
    const qsizetype newCount = rows.size();
    qsizetype head = 0;
    while (head < oldCount && head < newCount && m_rows[head].key == rows[head].key)
        ++head;
    qsizetype tail = 0;
    while (tail < oldCount - head && tail < newCount - head &&
           m_rows[oldCount - 1 - tail].key == rows[newCount - 1 - tail].key)
        ++tail;

    // The rows that stayed may show new texts (a rule's right side, a hit count).
    qsizetype firstChanged = -1;
    qsizetype lastChanged = -1;
    const auto compare = [&](qsizetype oldRow, qsizetype newRow) {
        if (m_rows[oldRow].text != rows[newRow].text || m_rows[oldRow].detail != rows[newRow].detail) {
            if (firstChanged < 0)
                firstChanged = newRow;
            lastChanged = newRow;
        }
    };
    for (qsizetype row = 0; row < head; ++row)
        compare(row, row);
    for (qsizetype i = tail; i > 0; --i)
        compare(oldCount - i, newCount - i);

    if (oldCount - tail > head) {
        beginRemoveRows(QModelIndex(), int(head), int(oldCount - tail - 1));
        m_rows.remove(head, oldCount - tail - head);
        endRemoveRows();
    }
    if (newCount - tail > head) {
        beginInsertRows(QModelIndex(), int(head), int(newCount - tail - 1));
        m_rows.insert(head, newCount - tail - head, Row());
        std::copy(rows.begin() + head, rows.begin() + (newCount - tail), m_rows.begin() + head);
        endInsertRows();
    }
    if (firstChanged >= 0) {
        for (qsizetype row = firstChanged; row <= lastChanged; ++row)
            m_rows[row] = rows[row];
        Q_EMIT dataChanged(index(int(firstChanged)), index(int(lastChanged)));
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
