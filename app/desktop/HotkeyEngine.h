#pragma once

#include "platform/Clock.h"
#include "platform/Hotkey.h"
#include "platform/KeyEventSource.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

// Turns the desktop's key events into the hotkey callbacks the dictation controller installs.
// Three kinds of hotkey: a key with an exact set of modifiers, a chord of modifier keys and a
// lone modifier key. While a dictation recording runs, Esc cancels it and, during its first
// second, the ask/translate/rewrite hotkeys switch its purpose; on request it records a new
// hotkey from the keys the user presses.
//
// Key events arrive on the KeyEventSource's own thread. Binding callbacks, onCancel and
// onSwitchAction run there with the engine's lock held: they must return quickly and must not
// call back into the engine (the lock is not recursive). onRecorded runs later on the thread
// the engine lives on, without the lock.
class HotkeyEngine : public QObject, private KeyEventSink
{
    Q_OBJECT

public:
    enum class SwitchAction
    {
        dictate,
        ask,
        translate,
        rewrite,
    };

    struct Binding
    {
        // A binding without a hotkey never matches.
        std::optional<Hotkey> hotkey;
        std::function<void()> onDown;
        std::function<void()> onUp;
        bool isDown = false;
    };

    // F1 to F12: the only keys a talk hotkey may use without a modifier.
    static const QSet<int>& functionKeyCodes();

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

    // Records the next hotkey the user presses for id ("talk", "ask", ...). The whole keyboard is
    // withheld from other applications until the recording ends.
    void beginRecording(const QString& id);
    void cancelRecording();
    bool isHotkeyRecording() const;

    void setOnRecorded(std::function<void(const QString& id, const Hotkey& hotkey)> callback);
    void setOnCancel(std::function<void()> callback);
    void setOnSwitchAction(std::function<void(SwitchAction)> callback);

    // A dictation recording runs: Esc cancels it, and until switchDeadline (on the engine's
    // clock) the secondary hotkeys switch its purpose.
    void setRecordingActive(bool active);
    void setSwitchDeadline(std::chrono::milliseconds deadline);
    void setAskHotkey(std::optional<Hotkey> hotkey);
    void setTranslateHotkey(std::optional<Hotkey> hotkey);
    void setRewriteHotkey(std::optional<Hotkey> hotkey);
    // The talk hotkey: a secondary hotkey equal to it never switches.
    void setPrimaryHotkey(std::optional<Hotkey> hotkey);

    // Combinations another program holds, so pressing them also reaches the front application
    // (the settings warn about them), and whether the keyboard grab of a recording failed.
    KeyGrabFailures grabFailures() const;

public Q_SLOTS:
    // Our own application came to the front: the key releases went to it, so nothing stays down.
    void applicationActivated();

Q_SIGNALS:
    // The grabs were applied again; grabFailures() tells what failed.
    void grabsUpdated();

private:
    // Swaps one of the secondary or primary hotkeys under the lock, then lets the key source
    // update its grabs.
    void replaceHotkey(std::optional<Hotkey>& slot, std::optional<Hotkey> hotkey);

    enum class EventType
    {
        keyDown,
        keyUp,
        modifierChanged,
    };
    enum class SwitchHit
    {
        noMatch,
        fire,
        swallow,
    };

    bool keyEvent(const KeyEvent& event) override;
    KeyGrabRequest wantedGrabs() override;
    void grabsApplied(const KeyGrabFailures& failures) override;
    void keysLost() override;

    bool handleModifierChange(int keyCode, quint64 mask, bool isPress);
    bool handleKeyUp(int keyCode);
    bool handleKeyDown(int keyCode, quint64 mask, bool isRepeat);
    void handleRecording(EventType type, int keyCode, quint64 mask, std::optional<bool> isPress);
    SwitchHit switchHit(const std::optional<Hotkey>& hotkey, EventType type, int keyCode, quint64 mask,
                        std::optional<bool> isPress) const;
    void finishRecording(std::optional<Hotkey> hotkey);
    void clearRecording();
    void releaseAllBindings();
    void scheduleSwitchWindowEnd();

    KeyEventSource& m_source;
    Clock& m_clock;

    mutable std::mutex m_lock;
    std::map<QString, Binding> m_bindings;
    std::optional<QString> m_recordingId;
    std::function<void(const QString&, const Hotkey&)> m_onRecorded;
    bool m_isRecordingActive = false;
    std::function<void()> m_onCancel;
    std::function<void(SwitchAction)> m_onSwitchAction;
    std::chrono::milliseconds m_switchDeadline{0};
    std::optional<Hotkey> m_askHotkey;
    std::optional<Hotkey> m_translateHotkey;
    std::optional<Hotkey> m_rewriteHotkey;
    std::optional<Hotkey> m_primaryHotkey;
    bool m_recordingIsSecondary = false;
    std::set<int> m_pendingModifiers;
    std::set<int> m_pendingModifiersPeak;
    // Empty until the first Menu transition, so the very first one is never taken for a bounce.
    std::optional<std::chrono::milliseconds> m_lastFnTransition;
    std::set<int> m_downModifierKeys;
    KeyGrabFailures m_grabFailures;

    // Main-thread state: the timer that ends the switch window's grabs, the activation link.
    Clock::TimerId m_switchWindowTimer = 0;
    QMetaObject::Connection m_activation;
};
