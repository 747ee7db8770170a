#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

// The stored items an editor lists, each with the key its owner removes it by. A new list is
// taken in as the few rows that changed (the common head and tail stay), so removing or adding
// one item among thousands moves one row, and the view keeps its place.
class RemovableRowsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    struct Row
    {
        QString key;
        QString text;
        // Dim text beside the item (a hit count, a mode); empty when none.
        QString detail;
    };

    enum Role
    {
        DetailRole = Qt::UserRole + 1,
        KeyRole,
    };

    // What turns one list into another: the common head and tail stay, the rows between them are
    // replaced, and the kept rows whose texts differ are rewritten, as one range.
    struct Change
    {
        qsizetype head = 0;
        qsizetype removed = 0;
        QList<Row> inserted;
        // Rows of the new list from firstChanged on; firstChanged is -1 when none.
        qsizetype firstChanged = -1;
        QList<Row> changed;
    };

    using QAbstractListModel::QAbstractListModel;

    // Pure, so it may run on any thread, against the rows a model held when it began.
    static Change diff(const QList<Row>& before, const QList<Row>& after);
    // The same over the items the rows are made of, read through sameKey and sameLook: only the
    // rows that changed are made, so following a long list allocates little.
    template <typename Item, typename SameKey, typename SameLook, typename ToRow>
    static Change diff(const QList<Item>& before, const QList<Item>& after, SameKey sameKey, SameLook sameLook,
                       ToRow toRow);
    // change must have been computed against the rows the model holds now.
    void apply(const Change& change);
    void setRows(const QList<Row>& rows) { apply(diff(m_rows, rows)); }
    const QList<Row>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Row> m_rows;
};

template <typename Item, typename SameKey, typename SameLook, typename ToRow>
RemovableRowsModel::Change RemovableRowsModel::diff(const QList<Item>& before, const QList<Item>& after,
                                                    SameKey sameKey, SameLook sameLook, ToRow toRow)
{
    const qsizetype oldCount = before.size();
    const qsizetype newCount = after.size();
    Change change;
    qsizetype& head = change.head;
    while (head < oldCount && head < newCount && sameKey(before[head], after[head]))
        ++head;
    qsizetype tail = 0;
    while (tail < oldCount - head && tail < newCount - head &&
           sameKey(before[oldCount - 1 - tail], after[newCount - 1 - tail]))
        ++tail;
    change.removed = oldCount - tail - head;
    const auto rowsOf = [&after, &toRow](qsizetype from, qsizetype count) {
        QList<Row> rows;
        rows.reserve(count);
        for (qsizetype i = from; i < from + count; ++i)
            rows.append(toRow(after[i]));
        return rows;
    };
    change.inserted = rowsOf(head, newCount - tail - head);

    // The rows that stayed may show new texts (a rule's right side, a hit count).
    qsizetype lastChanged = -1;
    const auto compare = [&](qsizetype oldRow, qsizetype newRow) {
        if (!sameLook(before[oldRow], after[newRow])) {
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
        change.changed = rowsOf(change.firstChanged, lastChanged - change.firstChanged + 1);
    return change;
}

// Three strings, each movable in memory as it stands: rows are inserted and removed among a
// hundred thousand by moving bytes.
Q_DECLARE_TYPEINFO(RemovableRowsModel::Row, Q_RELOCATABLE_TYPE);
