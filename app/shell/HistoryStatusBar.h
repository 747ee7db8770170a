#pragma once

#include "app/shell/ThemedSurface.h"
#include "platform/Hotkey.h"

#include <QVariantAnimation>

#include <optional>

class Lexicon;
class QGraphicsOpacityEffect;
class QLabel;

// The bottom bar of the main window: how to start a dictation, how many rules the lexicon holds,
// and the controller's status line.
class HistoryStatusBar : public ThemedSurface
{
    Q_OBJECT

public:
    static constexpr int fadeMs = 150;

    explicit HistoryStatusBar(QWidget* parent = nullptr);

    // The first line: a warning while the hotkeys do not work, else how to use the talk key.
    static QString triggerHint(bool hotkeysActive, const std::optional<Hotkey>& talk, const QString& recordTrigger);

    void setHint(const QString& hint);
    // Shows how many rules the lexicon holds, once it is loaded and after each of its changes,
    // whoever made them (the first start's seed lands from a worker).
    void showLexicon(const Lexicon& lexicon);
    // Fades the new line in over the old.
    void setStatusLine(const QString& line);

    QLabel* hintLabel() const { return m_hint; }
    QLabel* lexiconLabel() const { return m_lexicon; }
    QLabel* statusLabel() const { return m_status; }

    void applyTheme();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elideStatus();

    QLabel* m_hint;
    QLabel* m_lexicon;
    QLabel* m_status;
    QString m_statusLine;
    QGraphicsOpacityEffect* m_statusEffect;
    QVariantAnimation m_fade;
};
