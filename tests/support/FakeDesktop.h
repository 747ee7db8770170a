#pragma once

#include "platform/Clipboard.h"
#include "platform/KeySynthesizer.h"
#include "platform/Workspace.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// Fakes of the clipboard, synthesised keys and workspace ports that record what the program did.

class FakeClipboard : public Clipboard
{
public:
    std::optional<QString> text() const override;
    void setText(const QString& text) override;
    ClipboardSnapshot snapshot() const override { return content; }
    void restore(const ClipboardSnapshot& snapshot) override;
    quint64 changeCount() const override { return changes; }
    quint64 readCount() const override { return reads; }

    // Another application copying something.
    void copyFromElsewhere(const ClipboardSnapshot& snapshot);

    ClipboardSnapshot content;
    quint64 changes = 0;
    int restores = 0;
    // The text this program puts on the clipboard is read at once, as a quick target reads it,
    // unless a test reads it itself (counting reads).
    bool readAtOnce = true;
    quint64 reads = 0;
};

class RecordingKeySynthesizer : public KeySynthesizer
{
public:
    struct Event
    {
        quint32 keyCode;
        quint64 modifiers;
        bool down;
        bool operator==(const Event&) const = default;
    };

    bool isAvailable() const override { return available; }
    bool postKey(quint32 keyCode, quint64 modifierFlags, bool down) override;
    bool isKeyHeld() const override { return keyHeld; }

    bool available = true;
    bool keyHeld = false;
    // Runs as a press is asked for, before it is looked whether a key is held.
    std::function<void()> beforePress;
    QList<Event> events;
};

// Applications that come to the front only after a given number of isActive() questions, the
// way a real window manager takes a moment.
class FakeWorkspace : public Workspace
{
public:
    QString ownBundleId() const override { return ownId; }
    std::optional<RunningApplication> frontApplication() override;
    QList<RunningApplication> runningApplications(const QString& bundleId) override;
    bool isActive(const RunningApplication& application) override;
    void activate(const RunningApplication& application) override;
    std::optional<QString> windowTitle(qint32 pid) override;
    void setActiveWindowObserver(std::function<void()> observer) override
    {
        activeWindowObserver = std::move(observer);
    }

    RunningApplication& addApplication(const QString& bundleId, qint32 pid, const QString& name);

    QString ownId = QStringLiteral("murmo");
    QList<RunningApplication> applications;
    std::optional<qint32> frontPid;
    // How many isActive() questions an activation takes to show; negative: never.
    int activationDelay = 0;
    QList<qint32> activations;
    QHash<qint32, QString> titles;
    // Tests call it to play another window coming to the front.
    std::function<void()> activeWindowObserver;

private:
    std::optional<qint32> m_pendingPid;
    int m_pendingQuestions = 0;
};
