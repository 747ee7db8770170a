#pragma once

#include <QFont>
#include <QString>

#include <functional>

class QBoxLayout;
class QLabel;
class QWidget;

// The pieces the settings editors share: the dim caption under an editor and the list row of a
// stored item with its remove button. Texts from the stores are shown as plain text.
namespace EditorRows {

// The caption font (a little smaller than the window's) in the skin's dim text.
QLabel* caption(const QString& text, QWidget* parent);
void applyDimText(QLabel* label);

// A stored item: its text, a flexible space, an optional dim detail and a trash button that
// calls onRemove. The row is named "row", its button "remove".
QWidget* removable(const QString& text, const QString& detail, const QFont& font, std::function<void()> onRemove,
                   QWidget* parent);

// Takes every item of layout out and deletes its widgets once control returns to the event loop
// (a row may be removed from inside its own button's click).
void clear(QBoxLayout* layout);

// The font of the stored items: the window's font size, monospaced when asked.
QFont itemFont(bool monospaced = false);

} // namespace EditorRows
