#pragma once

#include "app/desktop/DictationKeys.h"
#include "app/desktop/HotkeyCapture.h"
#include "app/desktop/KeyTransition.h"
#include "platform/Clock.h"
#include "platform/Hotkey.h"
#include "platform/KeyEventSource.h"

#include <QObject>
#include <QString>
#include <QVarLengthArray>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

// Turns the desktop's key events into the hotkey callbacks the dictation controller installs.
// Three kinds of hotkey: a key with an exact set of modifiers, a chord of modifier keys and a
// lone modifier key. Before the bindings, a capture for the settings window takes every key
// (HotkeyCapture), and a dictation being recorded takes Esc and its switch keys (DictationKeys).
//
// Key events arrive on the KeyEventSource's own thread. Binding callbacks run there (except a Menu
// transition held back by the debounce, settled later on the thread the engine lives on), and
// cancelPressed and switchPressed are emitted there, after the engine's lock is released, so
// receivers may call back into the engine; a receiver on another thread is called through its
// event loop, as Qt does across threads. captured and captureEnded are emitted later on the
// thread the engine lives on.
class HotkeyEngine : public QObject, private KeyEventSink
{
    Q_OBJECT

public:
    using SwitchAction = DictationKeys::SwitchAction;

    struct Binding
    {
        // A binding without a hotkey never matches.
        std::optional<Hotkey> hotkey;
        std::function<void()> onDown;
        std::function<void()> onUp;
        bool isDown = false;
    };

    HotkeyEngine(KeyEventSource& source, Clock& clock, QObject* parent = nullptr);
    ~HotkeyEngine() override;

    // Installs or replaces the binding under id.
    void installBinding(const QString& id, Binding binding);
    // Replaces the hotkey of an installed binding; an unknown id changes nothing.
    void updateHotkey(const QString& id, std::optional<Hotkey> hotkey);

    // Starts watching keys; true when watching. Again when already running: true at once.
    bool start();
    // Stops watching and waits for the key thread. Every binding still down is released (its
    // onUp runs here), so no hotkey stays pressed.
    void stop();
    bool isRunning() const;

    // Captures the next hotkey the user presses for id ("talk", "ask", ...). The whole keyboard
    // is withheld from other applications until the capture ends.
    void beginCapture(const QString& id);
    void cancelCapture();
    bool isCapturing() const;

    // A dictation is being recorded: Esc cancels it, and until switchDeadline (on the engine's
    // clock) the secondary hotkeys switch its purpose.
    void setRecordingActive(bool active);
    void setSwitchDeadline(std::chrono::milliseconds deadline);
    void setAskHotkey(std::optional<Hotkey> hotkey);
    void setTranslateHotkey(std::optional<Hotkey> hotkey);
    void setRewriteHotkey(std::optional<Hotkey> hotkey);
    // The talk hotkey: a secondary hotkey equal to it never switches.
    void setPrimaryHotkey(std::optional<Hotkey> hotkey);

    // Combinations another program holds, so pressing them also reaches the front application
    // (the settings warn about them), and whether the keyboard grab of a capture failed.
    KeyGrabFailures grabFailures() const;

public Q_SLOTS:
    // Our own application came to the front: the key releases went to it, so nothing stays down.
    void applicationActivated();
    // Asks for one keyReleased() when the next key of the desktop goes up, so that a wait for
    // held keys can end at the release instead of looking again and again. Callable from any
    // thread; nothing comes while the engine is not running.
    void watchNextRelease();

Q_SIGNALS:
    // The grabs were applied again; grabFailures() tells what failed.
    void grabsUpdated();
    // The capture for id took hotkey; the binding of id has it already.
    void captured(const QString& id, const Hotkey& hotkey);
    // The capture is over without cancelCapture(): a hotkey was taken, or Esc abandoned it.
    void captureEnded();
    // Esc during a recording.
    void cancelPressed();
    // A switch key during a recording's switch window.
    void switchPressed(HotkeyEngine::SwitchAction action);
    // Once after watchNextRelease(): a key went up, or the keys were lost sight of and may have
    // gone up unseen. Emitted on the key source's thread.
    void keyReleased();

private:
    // The callbacks an event calls, collected under the lock and run once it is released; kept
    // on the stack, as every key of the desktop passes through here.
    using Calls = QVarLengthArray<std::function<void()>, 4>;

    bool keyEvent(const KeyEvent& event) override;
    KeyGrabRequest wantedGrabs() override;
    void grabsApplied(const KeyGrabFailures& failures) override;
    void keysLost() override;

    // Changes the dictation's state under the lock, then lets the key source update its grabs.
    template <typename Change> void changeDictation(Change change);
    bool route(const KeyEvent& event, Calls& calls, bool& grabsChange, bool settling = false);
    bool handleModifierChange(const KeyTransition& key, Calls& calls);
    bool handleKeyUp(const KeyTransition& key, Calls& calls);
    bool handleKeyDown(const KeyTransition& key, Calls& calls);
    // Whether the binding of the talk hotkey is held; under the lock.
    bool isTalkDown() const;
    void takeCaptured(const HotkeyCapture::Captured& captured);
    Calls releaseAllBindings();
    void scheduleSwitchWindowEnd();
    // Once the debounce after the last accepted Menu transition is over, the bindings follow the
    // key's reported state, so a tap shorter than the debounce still ends in a release.
    void scheduleFnSettle();
    void settleFn();

    KeyEventSource& m_source;
    Clock& m_clock;

    mutable std::mutex m_lock;
    std::map<QString, Binding> m_bindings;
    HotkeyCapture m_capture;
    DictationKeys m_dictation;
    // Empty until the first Menu transition, so the very first one is never taken for a bounce.
    std::optional<std::chrono::milliseconds> m_lastFnTransition;
    // The Menu key as the bindings were told, and as the keyboard reported it last: they differ
    // while a transition inside the debounce waits to be settled.
    bool m_fnAccepted = false;
    std::optional<KeyEvent> m_fnReported;
    std::set<int> m_downModifierKeys;
    KeyGrabFailures m_grabFailures;
    // Outside the lock: only a release looks at it, and most of them find it unset.
    std::atomic<bool> m_releaseWatched{false};

    // Main-thread state: the timer that ends the switch window's grabs, the activation link.
    Clock::TimerId m_switchWindowTimer = 0;
    Clock::TimerId m_fnSettleTimer = 0;
    QMetaObject::Connection m_activation;
};
