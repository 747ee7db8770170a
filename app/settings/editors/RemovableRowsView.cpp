#include "app/settings/editors/RemovableRowsView.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

constexpr int kRemoveSide = 22;
constexpr qreal kSymbolSize = 14;
constexpr int kGap = 6;
constexpr int kRowPadding = 6;
const QString kRemoveText = QStringLiteral("删除");

QFont detailFont(const QFont& font)
{
    QFont smaller = font;
    smaller.setPointSizeF(font.pointSizeF() * 0.85);
    return smaller;
}

QRect removeArea(const QRect& row)
{
    return {row.right() + 1 - kRemoveSide, row.top() + (row.height() - kRemoveSide) / 2, kRemoveSide, kRemoveSide};
}

// Paints one row in the skin's colours; the current row of a focused list is tinted.
class RemovableRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {0, std::max(kRemoveSide, option.fontMetrics.height()) + kRowPadding};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const ThemePalette& palette = Theme::palette();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (option.state & QStyle::State_HasFocus) {
            QColor tint = Theme::color(palette.text);
            tint.setAlphaF(0.06);
            painter->fillRect(option.rect, tint);
        }
        const QRect remove = removeArea(option.rect);
        SymbolIcon::paint(*painter, QStringLiteral("trash"), SymbolIcon::box(QRectF(remove).center(), kSymbolSize),
                          Theme::color(palette.red));
        int right = remove.left() - kGap;
        const QString detail = index.data(RemovableRowsModel::DetailRole).toString();
        if (!detail.isEmpty()) {
            const QFont font = detailFont(option.font);
            const int width = QFontMetrics(font).horizontalAdvance(detail);
            painter->setFont(font);
            painter->setPen(Theme::color(palette.textDim));
            painter->drawText(QRect(right - width, option.rect.top(), width, option.rect.height()),
                              Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine, detail);
            right -= width + kGap;
        }
        const QRect textArea(option.rect.left(), option.rect.top(), std::max(0, right - option.rect.left()),
                             option.rect.height());
        painter->setFont(option.font);
        painter->setPen(Theme::color(palette.text));
        const QString text = option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, textArea.width());
        painter->drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
        painter->restore();
    }
};

} // namespace

RemovableRowsView::RemovableRowsView(const QFont& font, QWidget* parent)
    : QListView(parent)
{
    setFont(font);
    setModel(&m_model);
    setItemDelegate(new RemovableRowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The section's card shows through.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setMouseTracking(true);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &RemovableRowsView::fitHeight);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &RemovableRowsView::fitHeight);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &RemovableRowsView::fitHeight);
    fitHeight();
}

QRect RemovableRowsView::removeRect(int row) const
{
    return removeArea(visualRect(m_model.index(row)));
}

void RemovableRowsView::fitHeight()
{
    const int count = m_model.rowCount();
    // Never shown on its own as a window of its own.
    if (parentWidget())
        setVisible(count > 0);
    if (count == 0)
        return;
    const int rowHeight = sizeHintForRow(0);
    setFixedHeight(std::min(count, visibleRows) * rowHeight + 2 * frameWidth());
}

int RemovableRowsView::rowAtRemove(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    return index.isValid() && removeRect(index.row()).contains(position) ? index.row() : -1;
}

void RemovableRowsView::mouseReleaseEvent(QMouseEvent* event)
{
    const int row = event->button() == Qt::LeftButton ? rowAtRemove(event->position().toPoint()) : -1;
    QListView::mouseReleaseEvent(event);
    if (row >= 0)
        Q_EMIT removeRequested(m_model.rows().at(row).key);
}

void RemovableRowsView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && currentIndex().isValid()) {
        Q_EMIT removeRequested(currentIndex().data(RemovableRowsModel::KeyRole).toString());
        return;
    }
    QListView::keyPressEvent(event);
}

bool RemovableRowsView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        const bool onRemove = rowAtRemove(static_cast<QMouseEvent*>(event)->position().toPoint()) >= 0;
        viewport()->setCursor(onRemove ? Qt::PointingHandCursor : Qt::ArrowCursor);
    } else if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (rowAtRemove(help->pos()) >= 0)
            QToolTip::showText(help->globalPos(), kRemoveText, viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QListView::viewportEvent(event);
}
