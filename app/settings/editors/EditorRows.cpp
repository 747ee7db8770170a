#include "app/settings/editors/EditorRows.h"

#include "app/settings/editors/SymbolButton.h"
#include "app/ui/Theme.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>

namespace EditorRows {

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    applyDimText(label);
    return label;
}

void applyDimText(QLabel* label)
{
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Theme::color(Theme::palette().textDim));
    label->setPalette(colours);
}

QWidget* removable(const QString& text, const QString& detail, const QFont& font, std::function<void()> onRemove,
                   QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("row"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(text, row);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setObjectName(QStringLiteral("text"));
    layout->addWidget(label, 1);
    if (!detail.isEmpty()) {
        QLabel* side = caption(detail, row);
        side->setWordWrap(false);
        side->setObjectName(QStringLiteral("detail"));
        layout->addWidget(side);
    }
    auto* remove =
        new SymbolButton(QStringLiteral("trash"), SymbolButton::Role::Destructive, QStringLiteral("删除"), row);
    remove->setObjectName(QStringLiteral("remove"));
    QObject::connect(remove, &SymbolButton::clicked, row, [onRemove = std::move(onRemove)] { onRemove(); });
    layout->addWidget(remove);
    return row;
}

void clear(QBoxLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
}

QFont itemFont(bool monospaced)
{
    // The window's own size: the stored items are what the section is about.
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPointSizeF(QFont().pointSizeF());
    return font;
}

} // namespace EditorRows
