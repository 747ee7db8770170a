#pragma once

#include <QString>
#include <QTextEdit>

// Read-only plain text, selectable by mouse, as tall as its width needs. Lines wrap between
// words, and inside a word that is wider than the line (a long address, a string of digits), so
// nothing is cut off at the right. Its background is its parent's; its colour the Text role.
class WrappingText : public QTextEdit
{
    Q_OBJECT

public:
    explicit WrappingText(QWidget* parent = nullptr);

    // Shown as it is, never as markup.
    void setText(const QString& text);
    QString text() const { return toPlainText(); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    // The last height worked out, for the width it was asked for; -1 when none.
    mutable int m_measuredWidth = -1;
    mutable int m_measuredHeight = 0;
};
