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
    // change must have been computed against the rows the model holds now.
    void apply(const Change& change);
    void setRows(const QList<Row>& rows) { apply(diff(m_rows, rows)); }
    const QList<Row>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Row> m_rows;
};

// Three strings, each movable in memory as it stands: rows are inserted and removed among a
// hundred thousand by moving bytes.
Q_DECLARE_TYPEINFO(RemovableRowsModel::Row, Q_RELOCATABLE_TYPE);
