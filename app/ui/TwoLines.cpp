#include "app/ui/TwoLines.h"

#include <QFontMetricsF>
#include <QTextLayout>

QStringList twoLines(const QString& text, const QFont& font, qreal width)
{
    if (text.isEmpty() || width <= 0)
        return {};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    first.setLineWidth(width);
    layout.endLayout();
    const QString head = text.mid(first.textStart(), first.textLength());
    QString rest = text.mid(first.textStart() + first.textLength());
    if (rest.isEmpty())
        return {head.trimmed()};
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return {head.trimmed(), QFontMetricsF(font).elidedText(rest.trimmed(), Qt::ElideRight, width)};
}
