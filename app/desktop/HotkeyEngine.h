#pragma once

#include "app/desktop/DictationKeys.h"
#include "app/desktop/HotkeyCapture.h"
#include "app/desktop/HotkeyUse.h"
#include "app/desktop/KeyTransition.h"
#include "platform/Clock.h"
#include "platform/Hotkey.h"
#include "platform/KeyEventSource.h"

#include <QObject>
#include <QVarLengthArray>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

// Turns the desktop's key events into the presses and releases of the hotkeys the user set.
// Three kinds of hotkey: a key with an exact set of modifiers, a chord of modifier keys and a
// lone modifier key. Before the hotkeys, a capture for the settings window takes every key
// (HotkeyCapture), and a dictation being recorded takes Esc and its chord keys (DictationKeys).
//
// The engine holds no hotkey of its own choosing: it is handed the whole set the settings hold,
// again whenever they change.
//
// Key events arrive on the KeyEventSource's own thread. pressed, released and cancelPressed are
// emitted there (a Menu transition held back by the debounce is settled later on the thread the
// engine lives on), after the engine's lock is released, so receivers may call back into the
// engine; a receiver on another thread is called through its event loop, as Qt does across
// threads. captured and captureEnded are emitted later on the thread the engine lives on.
class HotkeyEngine : public QObject, private KeyEventSink
{
    Q_OBJECT

public:
    HotkeyEngine(KeyEventSource& source, Clock& clock, QObject* parent = nullptr);
    ~HotkeyEngine() override;

    // Replaces every hotkey: the talk and cycling keys act at any time, the chord keys while a
    // dictation's chord window is open.
    void setHotkeys(const HotkeySet& hotkeys);

    // Starts watching keys; true when watching. Again when already running: true at once.
    bool start();
    // Stops watching and waits for the key thread. Every hotkey still down is released (released
    // is emitted here), so no hotkey stays pressed.
    void stop();
    bool isRunning() const;

    // Captures the next hotkey the user presses for use; captured reports it and changes nothing
    // else. The whole keyboard is withheld from other applications until the capture ends.
    void beginCapture(HotkeyUse use);
    void cancelCapture();
    bool isCapturing() const;

    // A dictation is being recorded: Esc cancels it, and until switchDeadline (on the engine's
    // clock) the chord keys change what it is for.
    void setRecordingActive(bool active);
    void setSwitchDeadline(std::chrono::milliseconds deadline);

    // Has every hotkey's combination tried again, also those withheld only while a dictation
    // starts, so that grabFailures() tells which another program holds without a recording;
    // grabsUpdated follows. Changing the hotkeys does the same.
    void probeGrabs();

    // Combinations another program holds, so pressing them also reaches the front application
    // (the settings warn about them), and whether the keyboard grab of a capture failed: keys and
    // wholeKeyboard as the grabs were last applied, probes as every hotkey was last tried.
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
    // The talk or cycling key went down or up, or a chord key went down in a dictation's chord
    // window. A held key's auto-repeat is not a press.
    void pressed(HotkeyUse use);
    void released(HotkeyUse use);
    // The capture for use took hotkey.
    void captured(HotkeyUse use, const Hotkey& hotkey);
    // The capture is over without cancelCapture(): a hotkey was taken, or Esc abandoned it.
    void captureEnded();
    // Esc during a recording.
    void cancelPressed();
    // Once after watchNextRelease(): a key went up, or the keys were lost sight of and may have
    // gone up unseen. Emitted on the key source's thread.
    void keyReleased();

private:
    // A hotkey that acts at any time, and whether it is held.
    struct Binding
    {
        Hotkey hotkey;
        bool isDown = false;
    };

    // The signals an event emits, collected under the lock and run once it is released; kept
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
    void press(HotkeyUse use, Binding& binding, Calls& calls);
    void release(HotkeyUse use, Binding& binding, Calls& calls);
    Calls releaseAllBindings();
    void scheduleSwitchWindowEnd();
    // Once the debounce after the last accepted Menu transition is over, the bindings follow the
    // key's reported state, so a tap shorter than the debounce still ends in a release.
    void scheduleFnSettle();
    void settleFn();

    KeyEventSource& m_source;
    Clock& m_clock;

    mutable std::mutex m_lock;
    std::map<HotkeyUse, Binding> m_bindings;
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
    // Every hotkey's combinations, tried when a probe is due; the answer to the probe sent is
    // awaited while m_probeSent.
    std::vector<KeyGrab> m_probes;
    bool m_probeDue = true;
    bool m_probeSent = false;
    // Outside the lock: only a release looks at it, and most of them find it unset.
    std::atomic<bool> m_releaseWatched{false};

    // Main-thread state: the timer that ends the switch window's grabs, the activation link.
    Clock::TimerId m_switchWindowTimer = 0;
    Clock::TimerId m_fnSettleTimer = 0;
    QMetaObject::Connection m_activation;
};
