#pragma once

#include "app/settings/editors/RemovableRowsModel.h"

#include <QListView>

// The list of an editor's stored items: per row its text (plain, elided to the width), its dim
// detail and a red trash can at the right end. Clicking the can, or Delete on the current row,
// asks for the removal; the owner changes its store and hands the model the new list. Shows up
// to a handful of rows and scrolls beyond; hidden while empty. Colours are read at every paint.
class RemovableRowsView : public QListView
{
    Q_OBJECT

public:
    static constexpr int visibleRows = 8;

    explicit RemovableRowsView(const QFont& font, QWidget* parent = nullptr);

    RemovableRowsModel& rows() { return m_model; }
    // Where the row's trash can is drawn, in the viewport's coordinates.
    QRect removeRect(int row) const;

Q_SIGNALS:
    void removeRequested(const QString& key);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void fitHeight();
    int rowAtRemove(const QPoint& position) const;

    RemovableRowsModel m_model;
};
