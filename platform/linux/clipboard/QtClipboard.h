#pragma once

#include "platform/Clipboard.h"

#include <QObject>

#include <memory>

// The clipboard port over Qt's clipboard (the X11 CLIPBOARD selection). Needs a QGuiApplication;
// main thread only.
class QtClipboard : public QObject, public Clipboard
{
    Q_OBJECT

public:
    // Formats not yet read by then are left out of a snapshot (which says so).
    static constexpr qint64 maxSnapshotMilliseconds = 1000;

    explicit QtClipboard(QObject* parent = nullptr);

    std::optional<QString> text() const override;
    void setText(const QString& text) override;
    ClipboardSnapshot snapshot() const override;
    void restore(const ClipboardSnapshot& snapshot) override;
    quint64 changeCount() const override { return m_changes; }
    quint64 readCount() const override { return *m_reads; }

private:
    quint64 m_changes = 0;
    // Shared with the text handed to the clipboard, which may outlive this object.
    std::shared_ptr<quint64> m_reads = std::make_shared<quint64>(0);
};
