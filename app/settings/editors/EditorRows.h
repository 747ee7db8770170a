#pragma once

#include <QFont>
#include <QString>

class QLabel;
class QWidget;

// The pieces the settings editors share: the dim caption under an editor and the font of the
// stored items. Texts from the stores are shown as plain text.
namespace EditorRows {

// The caption font (a little smaller than the window's) in the skin's dim text.
QLabel* caption(const QString& text, QWidget* parent);
void applyDimText(QLabel* label);

// The font of the stored items: the window's font size, monospaced when asked.
QFont itemFont(bool monospaced = false);

} // namespace EditorRows
