#include "app/desktop/HotkeyEngine.h"

#include "platform/HotkeyNames.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

using namespace std::chrono_literals;

namespace {

// A bouncing Menu key reports extra transitions this close together; no hand is that fast.
constexpr auto fnDebounce = 40ms;

} // namespace

const QSet<int>& HotkeyEngine::functionKeyCodes()
{
    static const QSet<int> codes{122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};
    return codes;
}

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
}

void HotkeyEngine::installBinding(const QString& id, Binding binding)
{
    {
        std::scoped_lock lock(m_lock);
        m_bindings[id] = std::move(binding);
    }
    m_source.grabsChanged();
}

void HotkeyEngine::updateHotkey(const QString& id, std::optional<Hotkey> hotkey)
{
    {
        std::scoped_lock lock(m_lock);
        const auto found = m_bindings.find(id);
        if (found == m_bindings.end())
            return;
        found->second.hotkey = hotkey;
    }
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
    std::scoped_lock lock(m_lock);
    releaseAllBindings();
    m_downModifierKeys.clear();
}

bool HotkeyEngine::isRunning() const
{
    return m_source.isRunning();
}

void HotkeyEngine::setOnCancel(std::function<void()> callback)
{
    std::scoped_lock lock(m_lock);
    m_onCancel = std::move(callback);
}

void HotkeyEngine::setOnSwitchAction(std::function<void(SwitchAction)> callback)
{
    std::scoped_lock lock(m_lock);
    m_onSwitchAction = std::move(callback);
}

void HotkeyEngine::setRecordingActive(bool active)
{
    {
        std::scoped_lock lock(m_lock);
        m_isRecordingActive = active;
    }
    m_source.grabsChanged();
}

void HotkeyEngine::setSwitchDeadline(std::chrono::milliseconds deadline)
{
    {
        std::scoped_lock lock(m_lock);
        m_switchDeadline = deadline;
    }
    scheduleSwitchWindowEnd();
    m_source.grabsChanged();
}

void HotkeyEngine::replaceHotkey(std::optional<Hotkey>& slot, std::optional<Hotkey> hotkey)
{
    {
        std::scoped_lock lock(m_lock);
        slot = hotkey;
    }
    m_source.grabsChanged();
}

void HotkeyEngine::setAskHotkey(std::optional<Hotkey> hotkey)
{
    replaceHotkey(m_askHotkey, hotkey);
}

void HotkeyEngine::setTranslateHotkey(std::optional<Hotkey> hotkey)
{
    replaceHotkey(m_translateHotkey, hotkey);
}

void HotkeyEngine::setRewriteHotkey(std::optional<Hotkey> hotkey)
{
    replaceHotkey(m_rewriteHotkey, hotkey);
}

void HotkeyEngine::setPrimaryHotkey(std::optional<Hotkey> hotkey)
{
    replaceHotkey(m_primaryHotkey, hotkey);
}

KeyGrabFailures HotkeyEngine::grabFailures() const
{
    std::scoped_lock lock(m_lock);
    return m_grabFailures;
}

void HotkeyEngine::applicationActivated()
{
    std::scoped_lock lock(m_lock);
    releaseAllBindings();
}

bool HotkeyEngine::keyEvent(const KeyEvent& event)
{
    std::scoped_lock lock(m_lock);
    const int keyCode = event.keyCode;
    const bool isModifierKey = HotkeyNames::modifierKeyCodes().contains(keyCode);
    const quint64 mask = event.modifiers & KeyModifier::all;
    const EventType type = isModifierKey   ? EventType::modifierChanged
                           : event.isPress ? EventType::keyDown
                                           : EventType::keyUp;

    // A held modifier that repeats changes nothing; it only must not escape a recording.
    if (isModifierKey && event.isRepeat)
        return m_recordingId.has_value();

    std::optional<bool> isPress;
    if (isModifierKey) {
        if (keyCode == KeyCode::menu && !m_recordingId) {
            const auto now = m_clock.now();
            if (m_lastFnTransition && now - *m_lastFnTransition < fnDebounce)
                return true;
            m_lastFnTransition = now;
        }
        isPress = event.isPress;
        if (event.isPress)
            m_downModifierKeys.insert(keyCode);
        else
            m_downModifierKeys.erase(keyCode);
    }

    if (m_recordingId) {
        handleRecording(type, keyCode, mask, isPress);
        return true;
    }

    if (m_isRecordingActive) {
        if (m_clock.now() < m_switchDeadline) {
            const std::array<std::pair<SwitchAction, const std::optional<Hotkey>*>, 3> secondaries{{
                {SwitchAction::ask, &m_askHotkey},
                {SwitchAction::translate, &m_translateHotkey},
                {SwitchAction::rewrite, &m_rewriteHotkey},
            }};
            for (const auto& [action, hotkey] : secondaries) {
                const SwitchHit hit = switchHit(*hotkey, type, keyCode, mask, isPress);
                if (hit == SwitchHit::noMatch)
                    continue;
                // A held switch key repeats; the switch was already reported by its first press.
                if (hit == SwitchHit::fire && !event.isRepeat && m_onSwitchAction)
                    m_onSwitchAction(action);
                return true;
            }
        }
        if (type == EventType::keyDown && keyCode == KeyCode::escape) {
            if (m_onCancel)
                m_onCancel();
            return true;
        }
    }

    switch (type) {
    case EventType::modifierChanged:
        return handleModifierChange(keyCode, mask, *isPress);
    case EventType::keyUp:
        return handleKeyUp(keyCode);
    case EventType::keyDown:
        return handleKeyDown(keyCode, mask, event.isRepeat);
    }
    return false;
}

bool HotkeyEngine::handleModifierChange(int keyCode, quint64 mask, bool isPress)
{
    bool acted = false;
    for (auto& [id, binding] : m_bindings) {
        const auto& hotkey = binding.hotkey;
        if (!hotkey || !hotkey->isModifierOnly || hotkey->modifiers == 0)
            continue;
        if (mask == (hotkey->modifiers & KeyModifier::all)) {
            if (!binding.isDown) {
                binding.isDown = true;
                if (binding.onDown)
                    binding.onDown();
                acted = true;
            }
        } else if (binding.isDown) {
            binding.isDown = false;
            if (binding.onUp)
                binding.onUp();
            acted = true;
        }
    }
    for (auto& [id, binding] : m_bindings) {
        const auto& hotkey = binding.hotkey;
        if (!hotkey || !hotkey->isModifierOnly || hotkey->modifiers != 0 || hotkey->keyCode != keyCode)
            continue;
        if (isPress && !binding.isDown) {
            binding.isDown = true;
            if (binding.onDown)
                binding.onDown();
            acted = true;
        } else if (!isPress && binding.isDown) {
            binding.isDown = false;
            if (binding.onUp)
                binding.onUp();
            acted = true;
        }
    }
    return acted;
}

bool HotkeyEngine::handleKeyUp(int keyCode)
{
    for (auto& [id, binding] : m_bindings) {
        const auto& hotkey = binding.hotkey;
        if (hotkey && !hotkey->isModifierOnly && hotkey->keyCode == keyCode && binding.isDown) {
            binding.isDown = false;
            if (binding.onUp)
                binding.onUp();
            return true;
        }
    }
    return false;
}

bool HotkeyEngine::handleKeyDown(int keyCode, quint64 mask, bool isRepeat)
{
    bool swallowed = false;
    for (auto& [id, binding] : m_bindings) {
        const auto& hotkey = binding.hotkey;
        if (!hotkey || hotkey->isModifierOnly || hotkey->keyCode != keyCode || hotkey->modifiers != mask)
            continue;
        swallowed = true;
        // A repeat is never a new press, also not for a binding that a reset forced up while
        // the key stayed held.
        if (!binding.isDown && !isRepeat) {
            binding.isDown = true;
            if (binding.onDown)
                binding.onDown();
        }
    }
    return swallowed;
}

HotkeyEngine::SwitchHit HotkeyEngine::switchHit(const std::optional<Hotkey>& hotkey, EventType type, int keyCode,
                                                quint64 mask, std::optional<bool> isPress) const
{
    if (!hotkey || (m_primaryHotkey && *m_primaryHotkey == *hotkey))
        return SwitchHit::noMatch;
    if (!hotkey->isModifierOnly) {
        if (hotkey->keyCode != keyCode)
            return SwitchHit::noMatch;
        if (type == EventType::keyDown)
            return mask == hotkey->modifiers ? SwitchHit::fire : SwitchHit::noMatch;
        return type == EventType::keyUp ? SwitchHit::swallow : SwitchHit::noMatch;
    }
    if (type != EventType::modifierChanged)
        return SwitchHit::noMatch;
    if (hotkey->modifiers == 0)
        return isPress == true && hotkey->keyCode == keyCode ? SwitchHit::fire : SwitchHit::noMatch;
    return mask == (hotkey->modifiers & KeyModifier::all) ? SwitchHit::fire : SwitchHit::noMatch;
}

void HotkeyEngine::releaseAllBindings()
{
    for (auto& [id, binding] : m_bindings) {
        if (!binding.isDown)
            continue;
        binding.isDown = false;
        if (binding.onUp)
            binding.onUp();
    }
}

KeyGrabRequest HotkeyEngine::wantedGrabs()
{
    std::scoped_lock lock(m_lock);
    KeyGrabRequest request;
    request.wholeKeyboard = m_recordingId.has_value();
    const auto add = [&request](const std::optional<Hotkey>& hotkey) {
        if (!hotkey || hotkey->isModifierOnly)
            return; // a lone modifier or a chord cannot be withheld on its own
        // A stored code no keyboard produces must not wrap around onto a real key.
        if (hotkey->keyCode < 0 || hotkey->keyCode > std::numeric_limits<int>::max())
            return;
        const KeyGrab grab{int(hotkey->keyCode), hotkey->modifiers & KeyModifier::all};
        if (std::find(request.keys.begin(), request.keys.end(), grab) == request.keys.end())
            request.keys.push_back(grab);
    };
    for (const auto& [id, binding] : m_bindings)
        add(binding.hotkey);
    if (m_isRecordingActive) {
        add(Hotkey{KeyCode::escape, 0, false});
        if (m_clock.now() < m_switchDeadline) {
            for (const auto* secondary : {&m_askHotkey, &m_translateHotkey, &m_rewriteHotkey}) {
                if (!(m_primaryHotkey && *secondary && **secondary == *m_primaryHotkey))
                    add(*secondary);
            }
        }
    }
    return request;
}

void HotkeyEngine::grabsApplied(const KeyGrabFailures& failures)
{
    {
        std::scoped_lock lock(m_lock);
        m_grabFailures = failures;
    }
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT grabsUpdated(); }, Qt::QueuedConnection);
}

void HotkeyEngine::keysLost()
{
    std::scoped_lock lock(m_lock);
    releaseAllBindings();
    m_downModifierKeys.clear();
    m_pendingModifiers.clear();
}

void HotkeyEngine::scheduleSwitchWindowEnd()
{
    if (m_switchWindowTimer != 0)
        m_clock.cancel(m_switchWindowTimer);
    m_switchWindowTimer = 0;
    const auto remaining = m_switchDeadline - m_clock.now();
    if (remaining <= 0ms)
        return;
    // The switch hotkeys are grabbed only inside the window, so the grabs change when it closes.
    m_switchWindowTimer = m_clock.schedule(remaining, [this] {
        m_switchWindowTimer = 0;
        m_source.grabsChanged();
    });
}
