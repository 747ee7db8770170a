#pragma once

#include "platform/Clipboard.h"
#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class Accessibility;
class KeySynthesizer;
class Workspace;
struct RunningApplication;

// Puts finished text into the application that was in front when the dictation started: brings
// it back to the front, then types the text through accessibility (for messaging applications
// whose text box ignores a paste) or pastes it with a synthesised Ctrl+V, giving the user's
// clipboard back afterwards. When that is not possible the text stays on the clipboard and the
// caller tells the user to paste it. Texts go out one at a time, in the order they were given:
// a text waits while the user holds a key (the talk key of the next dictation), and the next one
// starts once the clipboard of the last paste is given back.
class TextInserter : public QObject
{
    Q_OBJECT

public:
    // Called with the final outcome: true when the text was handed to the target application,
    // false when it was left on the clipboard instead.
    using Completion = std::function<void(bool delivered)>;
    // Called once when the text has to wait for a held key to be let go: its own turn's, or the
    // one of a text before it.
    using HeldBack = std::function<void()>;

    static constexpr std::chrono::milliseconds waitStep{50};
    static constexpr int maxWaits = 9;
    static constexpr std::chrono::milliseconds settleDelay{30};
    static constexpr std::chrono::milliseconds restoreDelay{400};
    // How much longer than restoreDelay the user's clipboard waits for a slow target (a busy
    // machine) to read the pasted text before it is put back anyway.
    static constexpr std::chrono::milliseconds maxReadWait{2000};
    static constexpr std::chrono::milliseconds accessibilityRestoreDelay{1000};
    static constexpr std::chrono::milliseconds keyUpDelay{22};
    // A key held down longer than this, counted from when a text's turn came, is taken for one
    // stuck down: the text is left on the clipboard.
    static constexpr std::chrono::minutes keyHoldLimit{15};

    TextInserter(Clipboard& clipboard, KeySynthesizer& keys, Workspace& workspace, Accessibility& accessibility,
                 Clock& clock, QObject* parent = nullptr);

    // targetBundleId: the target's lower-cased window class (the name keeps the design's).
    // Returns at once: true when an insertion into another application was scheduled, false when
    // the text was only put on the clipboard. completion (optional) learns later whether the
    // scheduled insertion happened; a target that never came to the front, or has quit, gets
    // nothing pasted into whatever window is in front instead, and the text stays on the
    // clipboard. A key held down delays the insertion until it is let go (up to keyHoldLimit);
    // heldBack (optional) learns when it does.
    bool insert(const QString& text, const std::optional<QString>& targetBundleId, Completion completion = {},
                HeldBack heldBack = {});
    // Whether typing into other applications is possible at all here (keys can be synthesised).
    bool canType() const;
    // The program is ending: the texts not typed yet are given up (their completion learns false),
    // and nothing is typed from now on. Returns how many were given up.
    int stop();

public Q_SLOTS:
    // A key of the desktop went up (or may have, unseen): a paste waiting for held keys looks
    // again now rather than at its next look.
    void keyReleased();

Q_SIGNALS:
    // After every insertion into another application, with the text.
    void inserted(const QString& text);
    // A paste is about to replace a clipboard that could only be read in part: what was not read
    // will not come back.
    void clipboardNotKept();
    // About to look whether a key is held: keyReleased() is wanted at the next release. Without
    // it the paste still goes, looking again every waitStep.
    void keyReleaseWanted();

private:
    // The user's clipboard while our own text sits on it waiting to be replaced: a paste that
    // comes before the restore saves this, not our leftover text. noted is the clipboard's change
    // count when it was saved.
    struct PendingRestore
    {
        ClipboardSnapshot saved;
        quint64 noted = 0;
    };

    // A text waiting for its turn.
    struct Queued
    {
        QString text;
        std::optional<QString> targetBundleId;
        Completion completion;
        HeldBack heldBack;
    };
    // The completion of the text under way, which a stop may have called already.
    struct Turn
    {
        Completion completion;
        bool ended = false;

        // False when it had ended already.
        bool end(bool delivered);
    };

    // Starts the next queued text once no key is held, unless one is under way.
    void startNext();
    // Runs action now, or once no key is held any more.
    void afterKeysLetGo(std::function<void()> action);
    void begin(const Queued& queued);
    // The text under way is done with: the next one may start.
    void advance();
    void whenReady(std::optional<RunningApplication> target, int attempt, std::function<void(bool ready)> action);
    // Whether a key is held that the text under way still waits for.
    bool keyHeld() const;
    // Every text given, the one under way and those after it, is waiting for held keys now.
    void tellHeldBack();
    // Calls resume at the next key release, or after waitStep when none is reported.
    void waitForKeyRelease(std::function<void()> resume);
    void endKeyWait(quint64 id);
    void axInsert(const QString& text, std::function<void(bool)> done);
    // The user's clipboard as it is now, unless our own text from the last paste is on it.
    std::optional<PendingRestore> readAhead() const;
    // early: the user's clipboard read before the pause, used when nothing changed it since.
    // done learns whether the paste went out; when it could not, the text stays on the clipboard.
    void pasteWithRestore(const QString& text, std::chrono::milliseconds delay,
                          const std::optional<PendingRestore>& early, std::function<void(bool pasted)> done);
    // Puts the user's clipboard back after delay, unless it changed since noted; then the next
    // text may start. A target that has not read the pasted text by then (the clipboard's reads
    // are still readsBefore) is given up to maxReadWait more: put back earlier, the user's old
    // clipboard would be what it pastes.
    void restoreLater(quint64 noted, quint64 readsBefore, std::chrono::milliseconds delay,
                      std::chrono::milliseconds waited = std::chrono::milliseconds{0});
    // Presses the paste chord; a key held at that moment defers it to the key's release.
    void pressPaste(std::function<void(bool pressed)> done);
    void clipboardOnly(const QString& text);
    void finish(const QString& text, bool delivered, const Completion& completion);

    Clipboard& m_clipboard;
    KeySynthesizer& m_keys;
    Workspace& m_workspace;
    Accessibility& m_accessibility;
    Clock& m_clock;
    std::optional<PendingRestore> m_pendingRestore;
    std::deque<Queued> m_queue;
    bool m_busy = false;
    std::chrono::milliseconds m_turnStarted{0};
    // The text under way's heldBack, until its first wait for a held key.
    HeldBack m_heldBack;
    std::shared_ptr<Turn> m_turn;
    bool m_stopped = false;

    // The pastes waiting for held keys to be let go, with the timer of their next look.
    struct KeyWait
    {
        Clock::TimerId lookAgain = 0;
        std::function<void()> resume;
    };
    std::map<quint64, KeyWait> m_keyWaits;
    quint64 m_lastKeyWait = 0;
};
