#include "app/ui/WrappingText.h"

#include <QEvent>
#include <QTextDocument>

#include <cmath>

WrappingText::WrappingText(QWidget* parent)
    : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFocusPolicy(Qt::ClickFocus);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setLineWrapMode(QTextEdit::WidgetWidth);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingText::setText(const QString& text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    m_measuredWidth = -1;
    updateGeometry();
}

int WrappingText::heightForWidth(int width) const
{
    if (width == m_measuredWidth)
        return m_measuredHeight;
    // Laid out apart from the shown document, which keeps its own width meanwhile.
    QTextDocument measure;
    measure.setDocumentMargin(0);
    measure.setDefaultFont(font());
    measure.setDefaultTextOption(document()->defaultTextOption());
    measure.setPlainText(toPlainText().isEmpty() ? QStringLiteral(" ") : toPlainText());
    const QMargins margins = contentsMargins();
    measure.setTextWidth(std::max(1, width - margins.left() - margins.right()));
    m_measuredWidth = width;
    m_measuredHeight = int(std::ceil(measure.size().height())) + margins.top() + margins.bottom();
    return m_measuredHeight;
}

QSize WrappingText::sizeHint() const
{
    const int width = QTextEdit::sizeHint().width();
    return {width, heightForWidth(width)};
}

QSize WrappingText::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void WrappingText::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_measuredWidth = -1;
        updateGeometry();
    }
}
