#pragma once

#include "platform/Clipboard.h"

#include <QObject>

// The clipboard port over Qt's clipboard (the X11 CLIPBOARD selection). Needs a QGuiApplication;
// main thread only.
class QtClipboard : public QObject, public Clipboard
{
    Q_OBJECT

public:
    // A snapshot keeps no format larger than this, and no more than maxSnapshotBytes in all:
    // a huge image on the clipboard is let go rather than held twice in memory.
    static constexpr qsizetype maxFormatBytes = 32 * 1024 * 1024;
    static constexpr qsizetype maxSnapshotBytes = 64 * 1024 * 1024;
    static constexpr qint64 maxSnapshotMilliseconds = 1000;

    explicit QtClipboard(QObject* parent = nullptr);

    std::optional<QString> text() const override;
    void setText(const QString& text) override;
    ClipboardSnapshot snapshot() const override;
    void restore(const ClipboardSnapshot& snapshot) override;
    quint64 changeCount() const override { return m_changes; }

private:
    quint64 m_changes = 0;
};
