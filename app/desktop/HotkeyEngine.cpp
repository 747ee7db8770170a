#include "app/desktop/HotkeyEngine.h"

#include "app/desktop/HotkeyGrabs.h"
#include "core/async/PostToThread.h"

#include <QGuiApplication>

#include <algorithm>
#include <utility>

using namespace std::chrono_literals;

namespace {

// A bouncing Menu key reports extra transitions this close together; no hand is that fast.
constexpr auto fnDebounce = 40ms;

} // namespace

HotkeyEngine::HotkeyEngine(KeyEventSource& source, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_source(source)
    , m_clock(clock)
{}

HotkeyEngine::~HotkeyEngine()
{
    stop();
    if (m_switchWindowTimer != 0)
        m_clock.cancel(m_switchWindowTimer);
    if (m_fnSettleTimer != 0)
        m_clock.cancel(m_fnSettleTimer);
}

void HotkeyEngine::setHotkeys(const HotkeySet& hotkeys)
{
    Calls calls;
    {
        std::scoped_lock lock(m_lock);
        HotkeyGrabs probes;
        for (const auto& [use, hotkey] : hotkeys)
            probes.add(hotkey);
        m_probes = std::move(probes.request.keys);
        m_probeDue = true;
        std::map<HotkeyUse, Binding> bindings;
        for (const auto& [use, hotkey] : hotkeys) {
            if (isChordKey(use))
                continue;
            // A hotkey held while it stays the same stays held.
            const auto held = m_bindings.find(use);
            bindings[use] = {hotkey, held != m_bindings.end() && held->second.isDown && held->second.hotkey == hotkey};
        }
        // One held but changed or gone is let go, so its release is not lost.
        for (const auto& [use, binding] : m_bindings) {
            const auto kept = bindings.find(use);
            if (binding.isDown && (kept == bindings.end() || !kept->second.isDown))
                calls.push_back([this, use = use] { Q_EMIT released(use); });
        }
        m_bindings = std::move(bindings);
        m_dictation.setHotkeys(hotkeys);
    }
    for (const auto& call : calls)
        call();
    m_source.grabsChanged();
}

bool HotkeyEngine::start()
{
    if (m_source.isRunning())
        return true;
    stop();
    if (!m_source.start(*this))
        return false;
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_activation =
            connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    applicationActivated();
            });
    }
    return true;
}

void HotkeyEngine::stop()
{
    // Once the source has stopped no key event can race with what follows.
    m_source.stop();
    disconnect(m_activation);
    Calls calls;
    {
        std::scoped_lock lock(m_lock);
        calls = releaseAllBindings();
        m_downModifierKeys.clear();
        m_fnReported.reset();
    }
    for (const auto& call : calls)
        call();
}

bool HotkeyEngine::isRunning() const
{
    return m_source.isRunning();
}

void HotkeyEngine::beginCapture(HotkeyUse use)
{
    {
        std::scoped_lock lock(m_lock);
        m_capture.begin(use);
    }
    m_source.grabsChanged();
}

void HotkeyEngine::cancelCapture()
{
    {
        std::scoped_lock lock(m_lock);
        m_capture.cancel();
    }
    m_source.grabsChanged();
}

bool HotkeyEngine::isCapturing() const
{
    std::scoped_lock lock(m_lock);
    return m_capture.isActive();
}

template <typename Change> void HotkeyEngine::changeDictation(Change change)
{
    {
        std::scoped_lock lock(m_lock);
        change(m_dictation);
    }
    m_source.grabsChanged();
}

void HotkeyEngine::setRecordingActive(bool active)
{
    changeDictation([active](DictationKeys& keys) { keys.setRecordingActive(active); });
}

void HotkeyEngine::setSwitchDeadline(std::chrono::milliseconds deadline)
{
    changeDictation([deadline](DictationKeys& keys) { keys.setSwitchDeadline(deadline); });
    scheduleSwitchWindowEnd();
}

void HotkeyEngine::probeGrabs()
{
    {
        std::scoped_lock lock(m_lock);
        m_probeDue = true;
    }
    m_source.grabsChanged();
}

KeyGrabFailures HotkeyEngine::grabFailures() const
{
    std::scoped_lock lock(m_lock);
    return m_grabFailures;
}

void HotkeyEngine::applicationActivated()
{
    Calls calls;
    {
        std::scoped_lock lock(m_lock);
        calls = releaseAllBindings();
    }
    for (const auto& call : calls)
        call();
}

void HotkeyEngine::watchNextRelease()
{
    m_releaseWatched.store(true);
}

bool HotkeyEngine::keyEvent(const KeyEvent& event)
{
    Calls calls;
    bool grabsChange = false;
    bool swallowed = false;
    {
        std::scoped_lock lock(m_lock);
        swallowed = route(event, calls, grabsChange);
    }
    for (const auto& call : calls)
        call();
    if (grabsChange)
        m_source.grabsChanged();
    if (!event.isPress && m_releaseWatched.load(std::memory_order_relaxed) && m_releaseWatched.exchange(false))
        Q_EMIT keyReleased();
    return swallowed;
}

bool HotkeyEngine::route(const KeyEvent& event, Calls& calls, bool& grabsChange, bool settling)
{
    const KeyTransition key = KeyTransition::of(event);
    const bool isModifierKey = key.type == KeyTransition::Type::modifierChanged;

    // A held modifier that repeats changes nothing; it only must not escape a capture.
    if (isModifierKey && key.isRepeat)
        return m_capture.isActive();

    if (isModifierKey) {
        if (key.keyCode == KeyCode::menu && !m_capture.isActive()) {
            const auto now = m_clock.now();
            if (!settling && m_lastFnTransition && now - *m_lastFnTransition < fnDebounce) {
                // Held back, not dropped: a bounce is undone by the next transition, anything
                // else is settled when the debounce is over.
                m_fnReported = event;
                calls.push_back([this] { postTo(this, [this] { scheduleFnSettle(); }); });
                return true;
            }
            // A transition held back whose settle has not run yet (the main thread was busy)
            // happened first.
            if (!settling && m_fnReported && m_fnReported->isPress != m_fnAccepted && key.isPress == m_fnAccepted) {
                const KeyEvent heldBack = *m_fnReported;
                route(heldBack, calls, grabsChange, true);
            }
            m_fnReported = event;
            m_lastFnTransition = now;
            m_fnAccepted = key.isPress;
        }
        if (key.isPress)
            m_downModifierKeys.insert(key.keyCode);
        else
            m_downModifierKeys.erase(key.keyCode);
    }

    if (m_capture.isActive()) {
        if (const auto hotkey = m_capture.keyEvent(key))
            takeCaptured(*hotkey);
        // The keyboard grab ends with the capture, and a new hotkey may need a grab of its own.
        grabsChange = !m_capture.isActive();
        if (grabsChange)
            postTo(this, [this] { Q_EMIT captureEnded(); });
        return true;
    }

    // Reading the clock costs more than the rest of a typed key; only a dictation needs it.
    const auto outcome = m_dictation.wantsKeys() ? m_dictation.keyEvent(key, m_clock.now()) : std::nullopt;
    if (outcome) {
        if (outcome->chord)
            calls.push_back([this, use = *outcome->chord] { Q_EMIT pressed(use); });
        if (outcome->cancel)
            calls.push_back([this] { Q_EMIT cancelPressed(); });
        return true;
    }

    const bool talkWasDown = isTalkDown();
    bool swallowed = false;
    switch (key.type) {
    case KeyTransition::Type::modifierChanged:
        swallowed = handleModifierChange(key, calls);
        break;
    case KeyTransition::Type::keyUp:
        swallowed = handleKeyUp(key, calls);
        break;
    case KeyTransition::Type::keyDown:
        swallowed = handleKeyDown(key, calls);
        break;
    }
    if (!talkWasDown && isTalkDown() && !m_dictation.isRecordingActive()) {
        // Armed here, on the key thread, with the grabs following at once: the controller sets
        // the recording going only once the microphone is open.
        m_dictation.armForStart(m_clock.now());
        grabsChange = true;
        // Should the recording never start, the arming still ends with its window.
        calls.push_back([this] { postTo(this, [this] { scheduleSwitchWindowEnd(); }); });
    }
    return swallowed;
}

bool HotkeyEngine::isTalkDown() const
{
    const auto talk = m_bindings.find(HotkeyUse::talk);
    return talk != m_bindings.end() && talk->second.isDown;
}

bool HotkeyEngine::handleModifierChange(const KeyTransition& key, Calls& calls)
{
    bool acted = false;
    for (auto& [use, binding] : m_bindings) {
        const Hotkey& hotkey = binding.hotkey;
        if (!hotkey.isModifierOnly || hotkey.modifiers == 0)
            continue;
        if (key.mask == (hotkey.modifiers & KeyModifier::all)) {
            if (!binding.isDown) {
                press(use, binding, calls);
                acted = true;
            }
        } else if (binding.isDown) {
            release(use, binding, calls);
            acted = true;
        }
    }
    for (auto& [use, binding] : m_bindings) {
        const Hotkey& hotkey = binding.hotkey;
        if (!hotkey.isModifierOnly || hotkey.modifiers != 0 || hotkey.keyCode != key.keyCode)
            continue;
        if (key.isPress && !binding.isDown) {
            press(use, binding, calls);
            acted = true;
        } else if (!key.isPress && binding.isDown) {
            release(use, binding, calls);
            acted = true;
        }
    }
    return acted;
}

bool HotkeyEngine::handleKeyUp(const KeyTransition& key, Calls& calls)
{
    for (auto& [use, binding] : m_bindings) {
        const Hotkey& hotkey = binding.hotkey;
        if (!hotkey.isModifierOnly && hotkey.keyCode == key.keyCode && binding.isDown) {
            release(use, binding, calls);
            return true;
        }
    }
    return false;
}

bool HotkeyEngine::handleKeyDown(const KeyTransition& key, Calls& calls)
{
    bool swallowed = false;
    for (auto& [use, binding] : m_bindings) {
        const Hotkey& hotkey = binding.hotkey;
        if (hotkey.isModifierOnly || hotkey.keyCode != key.keyCode || hotkey.modifiers != key.mask)
            continue;
        swallowed = true;
        // A repeat is never a new press, also not for a hotkey that a reset forced up while the
        // key stayed held.
        if (!binding.isDown && !key.isRepeat)
            press(use, binding, calls);
    }
    return swallowed;
}

void HotkeyEngine::takeCaptured(const HotkeyCapture::Captured& captured)
{
    postTo(this, [this, captured] { Q_EMIT this->captured(captured.use, captured.hotkey); });
}

void HotkeyEngine::press(HotkeyUse use, Binding& binding, Calls& calls)
{
    binding.isDown = true;
    calls.push_back([this, use] { Q_EMIT pressed(use); });
}

void HotkeyEngine::release(HotkeyUse use, Binding& binding, Calls& calls)
{
    binding.isDown = false;
    calls.push_back([this, use] { Q_EMIT released(use); });
}

HotkeyEngine::Calls HotkeyEngine::releaseAllBindings()
{
    Calls calls;
    for (auto& [use, binding] : m_bindings) {
        if (binding.isDown)
            release(use, binding, calls);
    }
    return calls;
}

KeyGrabRequest HotkeyEngine::wantedGrabs()
{
    std::scoped_lock lock(m_lock);
    HotkeyGrabs grabs;
    grabs.request.wholeKeyboard = m_capture.isActive();
    for (const auto& [use, binding] : m_bindings)
        grabs.add(binding.hotkey);
    m_dictation.addGrabs(grabs, m_clock.now());
    if (m_probeDue) {
        grabs.request.probes = m_probes;
        m_probeDue = false;
        m_probeSent = true;
    }
    return grabs.request;
}

void HotkeyEngine::grabsApplied(const KeyGrabFailures& failures)
{
    {
        std::scoped_lock lock(m_lock);
        // A pass without a probe leaves the last probe's answer standing: most passes do not try
        // the chord keys, which are grabbed only while a dictation starts.
        m_grabFailures.keys = failures.keys;
        m_grabFailures.wholeKeyboard = failures.wholeKeyboard;
        if (std::exchange(m_probeSent, false))
            m_grabFailures.probes = failures.probes;
    }
    postTo(this, [this] { Q_EMIT grabsUpdated(); });
}

void HotkeyEngine::keysLost()
{
    Calls calls;
    {
        std::scoped_lock lock(m_lock);
        calls = releaseAllBindings();
        m_downModifierKeys.clear();
        m_fnReported.reset();
        m_capture.keysLost();
    }
    for (const auto& call : calls)
        call();
    if (m_releaseWatched.exchange(false))
        Q_EMIT keyReleased();
}

void HotkeyEngine::scheduleSwitchWindowEnd()
{
    if (m_switchWindowTimer != 0)
        m_clock.cancel(m_switchWindowTimer);
    m_switchWindowTimer = 0;
    std::chrono::milliseconds deadline;
    {
        std::scoped_lock lock(m_lock);
        deadline = m_dictation.switchesUntil();
    }
    const auto remaining = deadline - m_clock.now();
    if (remaining <= 0ms)
        return;
    // The switch hotkeys are grabbed only inside the window, so the grabs change when it closes.
    m_switchWindowTimer = m_clock.schedule(remaining, [this] {
        m_switchWindowTimer = 0;
        m_source.grabsChanged();
    });
}

void HotkeyEngine::scheduleFnSettle()
{
    if (m_fnSettleTimer != 0)
        return;
    std::chrono::milliseconds remaining;
    {
        std::scoped_lock lock(m_lock);
        if (!m_lastFnTransition)
            return;
        remaining = std::max(0ms, *m_lastFnTransition + fnDebounce - m_clock.now());
    }
    m_fnSettleTimer = m_clock.schedule(remaining, [this] {
        m_fnSettleTimer = 0;
        settleFn();
    });
}

void HotkeyEngine::settleFn()
{
    Calls calls;
    bool grabsChange = false;
    bool tooEarly = false;
    {
        std::scoped_lock lock(m_lock);
        if (!m_fnReported || m_fnReported->isPress == m_fnAccepted)
            return;
        // A transition accepted meanwhile started a debounce of its own.
        tooEarly = m_lastFnTransition && m_clock.now() - *m_lastFnTransition < fnDebounce;
        if (!tooEarly) {
            const KeyEvent reported = *m_fnReported;
            route(reported, calls, grabsChange, true);
        }
    }
    if (tooEarly) {
        scheduleFnSettle();
        return;
    }
    for (const auto& call : calls)
        call();
    if (grabsChange)
        m_source.grabsChanged();
}
