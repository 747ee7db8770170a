#pragma once

#include "platform/Hotkey.h"

#include <QWidget>

#include <optional>

class QLabel;

// What an empty history shows: the talk key as a key cap and how to use it, or a note that no
// talk key is set.
class EmptyTeachingState : public QWidget
{
    Q_OBJECT

public:
    explicit EmptyTeachingState(QWidget* parent = nullptr);

    // recordTrigger: "hold" or anything else (a toggle).
    void setHotkey(const std::optional<Hotkey>& talk, const QString& recordTrigger);

    QLabel* keyCap() const { return m_keyCap; }
    QLabel* line() const { return m_line; }

    void applyTheme();

private:
    QLabel* m_keyCap;
    QLabel* m_line;
};
