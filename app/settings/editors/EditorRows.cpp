#include "app/settings/editors/EditorRows.h"

#include "app/ui/Theme.h"

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

QFont itemFont(bool monospaced)
{
    // The window's own size: the stored items are what the section is about.
    QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPointSizeF(QFont().pointSizeF());
    return font;
}

} // namespace EditorRows
