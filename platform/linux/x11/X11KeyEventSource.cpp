#include "platform/linux/x11/X11KeyEventSource.h"

#include "platform/LateLibrary.h"
#include "platform/linux/x11/X11KeyMap.h"

#include <QDebug>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

struct XInputCalls
{
    xcb_extension_t* id;
    decltype(&xcb_input_xi_query_version) queryVersion;
    decltype(&xcb_input_xi_query_version_reply) queryVersionReply;
    decltype(&xcb_input_xi_select_events_checked) selectEventsChecked;
};

// Null without the library.
const XInputCalls* xinputCalls()
{
    return LateLibrary::once<XInputCalls>("watch the keyboard", [](LateLibrary& library, XInputCalls& x) {
        library.open("libxcb-xinput.so.0");
        library.bind(x.id, "xcb_input_id");
        library.bind(x.queryVersion, "xcb_input_xi_query_version");
        library.bind(x.queryVersionReply, "xcb_input_xi_query_version_reply");
        library.bind(x.selectEventsChecked, "xcb_input_xi_select_events_checked");
    });
}

// The X modifier masks that stand for the program's families (Alt is Mod1, Super is Mod4 on every
// common layout), and the lock masks a grab must tolerate so CapsLock or NumLock never disable it.
constexpr uint16_t xShift = XCB_MOD_MASK_SHIFT;
constexpr uint16_t xControl = XCB_MOD_MASK_CONTROL;
constexpr uint16_t xAlt = XCB_MOD_MASK_1;
constexpr uint16_t xSuper = XCB_MOD_MASK_4;
constexpr uint16_t lockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

constexpr int reconnectIntervalMs = 500;
// While a wanted keyboard grab is held by someone else (an open menu), try again this often.
constexpr int keyboardRetryMs = 250;

uint16_t xModifiers(quint64 modifiers)
{
    uint16_t mask = 0;
    if (modifiers & KeyModifier::shift)
        mask |= xShift;
    if (modifiers & KeyModifier::control)
        mask |= xControl;
    if (modifiers & KeyModifier::alt)
        mask |= xAlt;
    if (modifiers & KeyModifier::super)
        mask |= xSuper;
    return mask;
}

struct GrabOrder
{
    bool operator()(const KeyGrab& a, const KeyGrab& b) const
    {
        return std::pair(a.keyCode, a.modifiers) < std::pair(b.keyCode, b.modifiers);
    }
};
using GrabSet = std::set<KeyGrab, GrabOrder>;

// The combinations X is asked to withhold. A key wanted with any modifiers is grabbed with each
// combination of the four families on its own rather than with X's AnyModifier, which fails as a
// whole as soon as another program holds one combination (window managers hold Alt+Esc).
GrabSet combinations(const std::vector<KeyGrab>& keys)
{
    GrabSet grabs;
    for (const KeyGrab& grab : keys) {
        if (!grab.anyModifiers) {
            grabs.insert(grab);
            continue;
        }
        constexpr quint64 families[] = {KeyModifier::shift, KeyModifier::control, KeyModifier::alt, KeyModifier::super};
        for (unsigned subset = 0; subset < (1u << std::size(families)); ++subset) {
            quint64 modifiers = 0;
            for (std::size_t i = 0; i < std::size(families); ++i) {
                if (subset & (1u << i))
                    modifiers |= families[i];
            }
            grabs.insert(KeyGrab{grab.keyCode, modifiers});
        }
    }
    return grabs;
}

} // namespace

// One open X connection and what the source has done on it: its grabs and the keys it sees held.
class X11KeyEventSource::Connection
{
public:
    static std::unique_ptr<Connection> open(const QByteArray& displayName)
    {
        const char* name = displayName.isEmpty() ? nullptr : displayName.constData();
        int screenNumber = 0;
        xcb_connection_t* watch = xcb_connect(name, &screenNumber);
        xcb_connection_t* grab = xcb_connect(name, nullptr);
        auto connection = std::unique_ptr<Connection>(new Connection(watch, grab));
        if (connection->isBroken())
            return nullptr;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(watch));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem == 0)
            return nullptr;
        connection->m_root = screens.data->root;
        if (!connection->selectRawKeys())
            return nullptr;
        connection->seedHeldKeys();
        return connection;
    }

    ~Connection()
    {
        xcb_disconnect(m_grab);
        xcb_disconnect(m_watch);
    }

    int watchDescriptor() const { return xcb_get_file_descriptor(m_watch); }
    int grabDescriptor() const { return xcb_get_file_descriptor(m_grab); }
    bool isBroken() const { return xcb_connection_has_error(m_watch) != 0 || xcb_connection_has_error(m_grab) != 0; }
    bool wantsKeyboardRetry() const { return m_keyboardWanted && !m_keyboardGrabbed; }

    // Hands every queued raw key event to the sink; drops everything else (grabbed core events).
    void drain(KeyEventSink& sink)
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_watch)) {
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
                const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
                if (generic->extension == m_xinputOpcode && (generic->event_type == XCB_INPUT_RAW_KEY_PRESS ||
                                                             generic->event_type == XCB_INPUT_RAW_KEY_RELEASE))
                    deliver(sink, *reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event));
            }
            std::free(event);
        }
        // What the grabs catch arrives here as core events; the raw events told us already.
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_grab))
            std::free(event);
    }

    KeyGrabFailures applyGrabs(const KeyGrabRequest& request)
    {
        KeyGrabFailures failures;
        const GrabSet wanted = combinations(request.keys);
        for (auto it = m_grabbed.begin(); it != m_grabbed.end();) {
            if (wanted.contains(*it)) {
                ++it;
                continue;
            }
            ungrabKey(*it);
            it = m_grabbed.erase(it);
        }
        for (const KeyGrab& grab : wanted) {
            if (m_grabbed.contains(grab))
                continue;
            if (grabKey(grab))
                m_grabbed.insert(grab);
            else
                failures.keys.push_back(grab);
        }

        m_keyboardWanted = request.wholeKeyboard;
        if (request.wholeKeyboard && !m_keyboardGrabbed) {
            m_keyboardGrabbed = grabKeyboard();
            failures.wholeKeyboard = !m_keyboardGrabbed;
        } else if (!request.wholeKeyboard && m_keyboardGrabbed) {
            xcb_ungrab_keyboard(m_grab, XCB_CURRENT_TIME);
            m_keyboardGrabbed = false;
        }
        // A probe is let go as soon as X grants it: only whether it would be granted matters.
        for (const KeyGrab& probe : combinations(request.probes)) {
            if (wanted.contains(probe) ? !m_grabbed.contains(probe) : !grabKey(probe))
                failures.probes.push_back(probe);
            else if (!wanted.contains(probe))
                ungrabKey(probe);
        }
        // Other clients' keys may follow at once (a synthesised paste): the server must have
        // taken every ungrab before anyone learns that the grabs are in place.
        roundTrip();
        return failures;
    }

    void releaseGrabs()
    {
        for (const KeyGrab& grab : m_grabbed)
            ungrabKey(grab);
        m_grabbed.clear();
        if (m_keyboardGrabbed)
            xcb_ungrab_keyboard(m_grab, XCB_CURRENT_TIME);
        m_keyboardGrabbed = false;
        m_keyboardWanted = false;
        roundTrip();
    }

private:
    Connection(xcb_connection_t* watch, xcb_connection_t* grab)
        : m_watch(watch)
        , m_grab(grab)
    {}

    void roundTrip() { free(xcb_get_input_focus_reply(m_grab, xcb_get_input_focus(m_grab), nullptr)); }

    bool selectRawKeys()
    {
        const XInputCalls* xinput = xinputCalls();
        if (!xinput)
            return false;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_watch, xinput->id);
        if (!extension || !extension->present)
            return false;
        m_xinputOpcode = extension->major_opcode;
        // Raw events reach us during other clients' grabs only from XInput 2.1 on.
        auto* version = xinput->queryVersionReply(m_watch, xinput->queryVersion(m_watch, 2, 2), nullptr);
        const bool recent =
            version && (version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 1));
        std::free(version);
        if (!recent)
            return false;
        struct
        {
            xcb_input_event_mask_t head;
            uint32_t bits;
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
               XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
        xcb_generic_error_t* error =
            xcb_request_check(m_watch, xinput->selectEventsChecked(m_watch, m_root, 1, &mask.head));
        std::free(error);
        return error == nullptr;
    }

    // Modifiers already held when watching begins still count for the first key pressed.
    void seedHeldKeys()
    {
        xcb_query_keymap_reply_t* keymap = xcb_query_keymap_reply(m_watch, xcb_query_keymap(m_watch), nullptr);
        if (!keymap)
            return;
        for (int x = 0; x < 256; ++x) {
            if (keymap->keys[x / 8] & (1 << (x % 8))) {
                if (const auto code = X11KeyMap::programKeyCode(x))
                    m_held.insert(*code);
            }
        }
        std::free(keymap);
    }

    void deliver(KeyEventSink& sink, const xcb_input_raw_key_press_event_t& raw)
    {
        const auto code = X11KeyMap::programKeyCode(int(raw.detail));
        if (!code)
            return;
        const bool isPress = raw.event_type == XCB_INPUT_RAW_KEY_PRESS;
        // The server flags its own repeats; a second press without a release between is one too
        // (some servers leave the flag off raw events).
        const bool isRepeat =
            isPress && ((raw.flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) != 0 || m_held.contains(*code));
        if (isPress)
            m_held.insert(*code);
        else
            m_held.erase(*code);
        quint64 modifiers = 0;
        for (const int held : m_held)
            modifiers |= KeyModifier::familyOf(held);
        sink.keyEvent(KeyEvent{*code, isPress, isRepeat, modifiers});
    }

    bool grabKey(const KeyGrab& grab)
    {
        const auto key = X11KeyMap::xKeyCode(grab.keyCode);
        if (!key)
            return false;
        const uint16_t base = xModifiers(grab.modifiers);
        bool granted = true;
        xcb_void_cookie_t cookies[std::size(lockVariants)];
        for (std::size_t i = 0; i < std::size(lockVariants); ++i)
            cookies[i] = xcb_grab_key_checked(m_grab, 0, m_root, base | lockVariants[i], xcb_keycode_t(*key),
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        for (const xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(m_grab, cookie)) {
                granted = false; // BadAccess: another client holds this combination
                std::free(error);
            }
        }
        if (!granted)
            ungrabKey(grab); // keep no half grab: a combination is withheld with every lock or not at all
        return granted;
    }

    void ungrabKey(const KeyGrab& grab)
    {
        const auto key = X11KeyMap::xKeyCode(grab.keyCode);
        if (!key)
            return;
        const uint16_t base = xModifiers(grab.modifiers);
        for (const uint16_t lock : lockVariants)
            xcb_ungrab_key(m_grab, xcb_keycode_t(*key), m_root, base | lock);
    }

    bool grabKeyboard()
    {
        auto* reply = xcb_grab_keyboard_reply(
            m_grab, xcb_grab_keyboard(m_grab, 0, m_root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        return granted;
    }

    // Raw events are withheld from the client whose grab is active, so grabbing and watching use
    // two connections: the watching one sees every key, also the ones the other one grabbed.
    xcb_connection_t* m_watch;
    xcb_connection_t* m_grab;
    xcb_window_t m_root = 0;
    uint8_t m_xinputOpcode = 0;
    std::set<int> m_held;
    GrabSet m_grabbed;
    bool m_keyboardWanted = false;
    bool m_keyboardGrabbed = false;
};

X11KeyEventSource::X11KeyEventSource(QByteArray displayName)
    : m_displayName(std::move(displayName))
{}

X11KeyEventSource::~X11KeyEventSource()
{
    stop();
}

bool X11KeyEventSource::start(KeyEventSink& sink)
{
    if (m_running)
        return true;
    m_connection = Connection::open(m_displayName);
    if (!m_connection) {
        qWarning("Cannot watch the keyboard: no X display with XInput 2.1 raw key events");
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        m_connection.reset();
        return false;
    }
    m_sink = &sink;
    m_stopping = false;
    m_grabsDirty = false;
    sink.grabsApplied(m_connection->applyGrabs(sink.wantedGrabs()));
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void X11KeyEventSource::stop()
{
    if (!m_running)
        return;
    m_stopping = true;
    wake();
    m_thread.join();
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_connection.reset();
    m_sink = nullptr;
    m_running = false;
}

bool X11KeyEventSource::isRunning() const
{
    return m_running;
}

void X11KeyEventSource::grabsChanged()
{
    m_grabsDirty = true;
    wake();
}

void X11KeyEventSource::wake()
{
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    }
}

bool X11KeyEventSource::waitForWake(int timeoutMs)
{
    pollfd wakeFd{m_wakeFd, POLLIN, 0};
    if (::poll(&wakeFd, 1, timeoutMs) > 0) {
        uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
        return true;
    }
    return false;
}

void X11KeyEventSource::run()
{
    // The kernel keeps 15 characters of a thread name.
    prctl(PR_SET_NAME, "com.kelto.murmo.hotkeytap");
    while (!m_stopping) {
        if (!m_connection || m_connection->isBroken()) {
            if (m_connection) {
                qWarning("The X connection of the hotkeys broke; reconnecting");
                m_connection.reset();
                m_sink->keysLost();
            }
            waitForWake(reconnectIntervalMs);
            if (m_stopping)
                break;
            m_connection = Connection::open(m_displayName);
            if (m_connection)
                m_grabsDirty = true;
            continue;
        }
        if (m_grabsDirty.exchange(false))
            m_sink->grabsApplied(m_connection->applyGrabs(m_sink->wantedGrabs()));
        m_connection->drain(*m_sink);
        if (m_connection->isBroken())
            continue;

        pollfd fds[3] = {{m_wakeFd, POLLIN, 0},
                         {m_connection->watchDescriptor(), POLLIN, 0},
                         {m_connection->grabDescriptor(), POLLIN, 0}};
        const int timeout = m_connection->wantsKeyboardRetry() ? keyboardRetryMs : -1;
        const int ready = ::poll(fds, 3, timeout);
        if (ready == 0 && m_connection->wantsKeyboardRetry())
            m_grabsDirty = true;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
        }
    }
    if (m_connection && !m_connection->isBroken())
        m_connection->releaseGrabs();
}
