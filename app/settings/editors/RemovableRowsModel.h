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

    using QAbstractListModel::QAbstractListModel;

    void setRows(const QList<Row>& rows);
    const QList<Row>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<Row> m_rows;
};
