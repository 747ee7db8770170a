#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Everything the clipboard held at one moment, one entry per format (MIME type), so it can be put
// back exactly as the user left it. An empty list means the clipboard was empty.
struct ClipboardSnapshot
{
    struct Format
    {
        QString mimeType;
        QByteArray data;
        bool operator==(const Format&) const = default;
    };
    QList<Format> formats;
    // False when part of what the clipboard held could not be read in time and is not here.
    bool whole = true;

    bool isEmpty() const { return formats.isEmpty(); }
    bool operator==(const ClipboardSnapshot&) const = default;
};

// The desktop's clipboard (on X11 the CLIPBOARD selection). Used on the main thread only.
class Clipboard
{
public:
    virtual ~Clipboard() = default;

    // The plain text on the clipboard, absent when it holds none.
    virtual std::optional<QString> text() const = 0;

    // Clears the clipboard and puts text on it as plain text.
    virtual void setText(const QString& text) = 0;

    // All formats currently on the clipboard, whatever their size. An owner too slow to hand
    // over every format leaves the snapshot partial (not whole).
    virtual ClipboardSnapshot snapshot() const = 0;

    // Clears the clipboard and puts every format of snapshot on it (an empty snapshot leaves the
    // clipboard empty).
    virtual void restore(const ClipboardSnapshot& snapshot) = 0;

    // Grows by at least one whenever anyone (this program or another) changes the clipboard.
    virtual quint64 changeCount() const = 0;
    // Grows by at least one whenever the text this program put on the clipboard is handed to an
    // application that reads it (a paste fetching it).
    virtual quint64 readCount() const = 0;
};
