#include "platform/linux/atspi/AtspiWorker.h"

#include "platform/LateLibrary.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/FocusSearch.h"

// glib names a struct member "signals"; Qt's keywords are off in this project, so no clash.
#include <atspi/atspi.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// libatspi's calls, and GObject's that its objects are given back with.
struct AtspiCalls
{
    decltype(&atspi_accessible_get_application) accessible_get_application;
    decltype(&atspi_accessible_get_child_at_index) accessible_get_child_at_index;
    decltype(&atspi_accessible_get_child_count) accessible_get_child_count;
    decltype(&atspi_accessible_get_editable_text_iface) accessible_get_editable_text_iface;
    decltype(&atspi_accessible_get_name) accessible_get_name;
    decltype(&atspi_accessible_get_process_id) accessible_get_process_id;
    decltype(&atspi_accessible_get_role) accessible_get_role;
    decltype(&atspi_accessible_get_state_set) accessible_get_state_set;
    decltype(&atspi_accessible_get_text_iface) accessible_get_text_iface;
    decltype(&atspi_accessible_get_toolkit_name) accessible_get_toolkit_name;
    decltype(&atspi_accessible_set_cache_mask) accessible_set_cache_mask;
    decltype(&atspi_editable_text_delete_text) editable_text_delete_text;
    decltype(&atspi_editable_text_insert_text) editable_text_insert_text;
    decltype(&atspi_editable_text_set_text_contents) editable_text_set_text_contents;
    decltype(&atspi_get_a11y_bus) get_a11y_bus;
    decltype(&atspi_get_desktop) get_desktop;
    decltype(&atspi_init) init;
    decltype(&atspi_set_main_context) set_main_context;
    decltype(&atspi_set_timeout) set_timeout;
    decltype(&atspi_state_set_contains) state_set_contains;
    decltype(&atspi_text_get_caret_offset) text_get_caret_offset;
    decltype(&atspi_text_get_character_count) text_get_character_count;
    decltype(&atspi_text_get_n_selections) text_get_n_selections;
    decltype(&atspi_text_get_selection) text_get_selection;
    decltype(&atspi_text_get_text) text_get_text;
    decltype(&g_object_unref) object_unref;
};

// Null without the library.
const AtspiCalls* atspiCalls()
{
    return LateLibrary::once<AtspiCalls>(
        "read other applications' text fields", [](LateLibrary& library, AtspiCalls& a) {
            library.open("libatspi.so.0");
            library.bind(a.accessible_get_application, "atspi_accessible_get_application");
            library.bind(a.accessible_get_child_at_index, "atspi_accessible_get_child_at_index");
            library.bind(a.accessible_get_child_count, "atspi_accessible_get_child_count");
            library.bind(a.accessible_get_editable_text_iface, "atspi_accessible_get_editable_text_iface");
            library.bind(a.accessible_get_name, "atspi_accessible_get_name");
            library.bind(a.accessible_get_process_id, "atspi_accessible_get_process_id");
            library.bind(a.accessible_get_role, "atspi_accessible_get_role");
            library.bind(a.accessible_get_state_set, "atspi_accessible_get_state_set");
            library.bind(a.accessible_get_text_iface, "atspi_accessible_get_text_iface");
            library.bind(a.accessible_get_toolkit_name, "atspi_accessible_get_toolkit_name");
            library.bind(a.accessible_set_cache_mask, "atspi_accessible_set_cache_mask");
            library.bind(a.editable_text_delete_text, "atspi_editable_text_delete_text");
            library.bind(a.editable_text_insert_text, "atspi_editable_text_insert_text");
            library.bind(a.editable_text_set_text_contents, "atspi_editable_text_set_text_contents");
            library.bind(a.get_a11y_bus, "atspi_get_a11y_bus");
            library.bind(a.get_desktop, "atspi_get_desktop");
            library.bind(a.init, "atspi_init");
            library.bind(a.set_main_context, "atspi_set_main_context");
            library.bind(a.set_timeout, "atspi_set_timeout");
            library.bind(a.state_set_contains, "atspi_state_set_contains");
            library.bind(a.text_get_caret_offset, "atspi_text_get_caret_offset");
            library.bind(a.text_get_character_count, "atspi_text_get_character_count");
            library.bind(a.text_get_n_selections, "atspi_text_get_n_selections");
            library.bind(a.text_get_selection, "atspi_text_get_selection");
            library.bind(a.text_get_text, "atspi_text_get_text");
            library.open("libgobject-2.0.so.0");
            library.bind(a.object_unref, "g_object_unref");
        });
}

// Past a start that found the library.
const AtspiCalls& atspi()
{
    return *atspiCalls();
}

// Enough to reach the focused field of any ordinary window without letting a huge document or
// table turn one request into thousands.
constexpr int maxVisitedNodes = 3000;

class AtspiElement : public AccessibleElement
{
public:
    AtspiElement(AtspiAccessible* object, bool secret, bool utf16Lengths)
        : object(object)
        , secret(secret)
        , utf16Lengths(utf16Lengths)
    {}
    bool isSecret() const override { return secret; }

    AtspiAccessible* object;
    bool secret;
    // Qt's bridge takes insert lengths in UTF-16 units; everyone else in bytes, as AT-SPI says.
    bool utf16Lengths;
};

AtspiAccessible* objectOf(const AccessibleElementPtr& element)
{
    const auto* atspiElement = dynamic_cast<const AtspiElement*>(element.get());
    if (!atspiElement || atspiElement->secret)
        return nullptr;
    return atspiElement->object;
}

bool hasState(AtspiAccessible* object, AtspiStateType state)
{
    AtspiStateSet* states = atspi().accessible_get_state_set(object);
    if (!states)
        return false;
    const bool has = atspi().state_set_contains(states, state);
    atspi().object_unref(states);
    return has;
}

// Wraps a GError out-parameter so every call site frees it and can ask whether the call failed.
class Error
{
public:
    ~Error()
    {
        if (m_error)
            g_error_free(m_error);
    }
    GError** out()
    {
        if (m_error) {
            g_error_free(m_error);
            m_error = nullptr;
        }
        return &m_error;
    }
    explicit operator bool() const { return m_error != nullptr; }

private:
    GError* m_error = nullptr;
};

// The desktop's accessibility tree as the focus search walks it.
struct AtspiTree
{
    using Node = AtspiAccessible*;

    std::vector<Node> applications()
    {
        AtspiAccessible* desktop = atspi().get_desktop(0);
        if (!desktop)
            return {};
        std::vector<Node> found = childrenOf(desktop);
        atspi().object_unref(desktop);
        return found;
    }

    std::vector<Node> windows(Node application)
    {
        // Cached states lag behind the application; focus is only worth asking live.
        atspi().accessible_set_cache_mask(application, ATSPI_CACHE_NONE);
        return childrenOf(application);
    }

    bool isActive(Node window) { return hasState(window, ATSPI_STATE_ACTIVE); }
    bool isFocused(Node element) { return hasState(element, ATSPI_STATE_FOCUSED); }

    int childCount(Node element)
    {
        if (hasState(element, ATSPI_STATE_MANAGES_DESCENDANTS))
            return 0;
        return std::max(0, int(atspi().accessible_get_child_count(element, nullptr)));
    }

    std::optional<Node> child(Node element, int index)
    {
        AtspiAccessible* found = atspi().accessible_get_child_at_index(element, index, nullptr);
        return found ? std::optional(found) : std::nullopt;
    }

    void release(Node node) { atspi().object_unref(node); }

private:
    static std::vector<Node> childrenOf(Node parent)
    {
        std::vector<Node> children;
        const gint count = atspi().accessible_get_child_count(parent, nullptr);
        for (gint i = 0; i < count; ++i) {
            if (AtspiAccessible* child = atspi().accessible_get_child_at_index(parent, i, nullptr))
                children.push_back(child);
        }
        return children;
    }
};

std::optional<QString> takeString(gchar* text)
{
    if (!text)
        return std::nullopt;
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

} // namespace

void AtspiWorker::start()
{
    // Without an accessibility bus (no D-Bus session at all, say) libatspi keeps no connection,
    // and its next call would hand libdbus a null one, which ends the process. Text fields are
    // then simply out of reach.
    if (atspi().init() > 1 || !atspi().get_a11y_bus())
        return;
    // Our D-Bus traffic is dispatched by this thread's own event loop, never by the main thread.
    if (GMainContext* context = g_main_context_get_thread_default())
        atspi().set_main_context(context);
    atspi().set_timeout(int(AtspiAccessibility::requestTimeout.count()),
                        int(AtspiAccessibility::requestTimeout.count()));
    Error error;
    AtspiAccessible* desktop = atspi().get_desktop(0);
    if (desktop) {
        atspi().accessible_get_child_count(desktop, error.out());
        m_available = !error;
        atspi().object_unref(desktop);
    }
}

void AtspiWorker::shutDown()
{
    m_available = false;
}

void AtspiWorker::release(const std::weak_ptr<AtspiWorker>& worker, AtspiAccessible* object)
{
    const std::shared_ptr<AtspiWorker> alive = worker.lock();
    if (!alive || !QMetaObject::invokeMethod(alive.get(), [object] { atspi().object_unref(object); }))
        return; // The worker is gone with libatspi; the reference goes with it.
}

AccessibleElementPtr AtspiWorker::wrap(AtspiAccessible* object)
{
    Error error;
    const bool secret = atspi().accessible_get_role(object, error.out()) == ATSPI_ROLE_PASSWORD_TEXT || bool(error);
    bool qt = false;
    if (AtspiAccessible* application = atspi().accessible_get_application(object, nullptr)) {
        const std::optional<QString> toolkit = takeString(atspi().accessible_get_toolkit_name(application, nullptr));
        qt = toolkit && toolkit->compare(QLatin1String("Qt"), Qt::CaseInsensitive) == 0;
        atspi().object_unref(application);
    }
    const std::weak_ptr<AtspiWorker> self = m_self;
    auto* element = new AtspiElement(object, secret, qt);
    return AccessibleElementPtr(element, [self](const AccessibleElement* e) {
        const auto* atspiElement = static_cast<const AtspiElement*>(e);
        release(self, atspiElement->object);
        delete atspiElement;
    });
}

AccessibleElementPtr AtspiWorker::focusedElement()
{
    if (!m_available)
        return nullptr;
    AtspiTree tree;
    FocusSearch search(tree, m_clock, AtspiAccessibility::focusSearchBudget, maxVisitedNodes);
    const std::optional<AtspiAccessible*> focused = search.run();
    return focused ? wrap(*focused) : nullptr;
}

std::optional<QString> AtspiWorker::selectedText(const AccessibleElementPtr& element)
{
    AtspiAccessible* object = objectOf(element);
    AtspiText* text = object ? atspi().accessible_get_text_iface(object) : nullptr;
    if (!text)
        return std::nullopt;
    Error error;
    std::optional<QString> selected;
    const gint selections = atspi().text_get_n_selections(text, error.out());
    if (!error && selections <= 0) {
        selected = QString();
    } else if (!error) {
        AtspiRange* range = atspi().text_get_selection(text, 0, error.out());
        if (range && !error)
            selected = takeString(atspi().text_get_text(text, range->start_offset, range->end_offset, error.out()));
        if (error)
            selected.reset();
        g_free(range);
    }
    atspi().object_unref(text);
    return selected;
}

std::optional<QString> AtspiWorker::value(const AccessibleElementPtr& element)
{
    AtspiAccessible* object = objectOf(element);
    AtspiText* text = object ? atspi().accessible_get_text_iface(object) : nullptr;
    if (!text)
        return std::nullopt;
    Error error;
    std::optional<QString> result;
    const gint count = atspi().text_get_character_count(text, error.out());
    if (!error)
        result = takeString(atspi().text_get_text(text, 0, count, error.out()));
    if (error)
        result.reset();
    atspi().object_unref(text);
    return result;
}

bool AtspiWorker::replaceSelection(const AccessibleElementPtr& element, const QString& text)
{
    AtspiAccessible* object = objectOf(element);
    if (!object || !hasState(object, ATSPI_STATE_EDITABLE))
        return false;
    AtspiEditableText* editable = atspi().accessible_get_editable_text_iface(object);
    AtspiText* readable = atspi().accessible_get_text_iface(object);
    bool inserted = false;
    if (editable && readable) {
        Error error;
        gint position = atspi().text_get_caret_offset(readable, error.out());
        if (atspi().text_get_n_selections(readable, nullptr) > 0) {
            AtspiRange* range = atspi().text_get_selection(readable, 0, nullptr);
            if (range && range->end_offset > range->start_offset &&
                atspi().editable_text_delete_text(editable, range->start_offset, range->end_offset, error.out()) &&
                !error)
                position = range->start_offset;
            g_free(range);
        }
        if (!error && position >= 0) {
            const QByteArray utf8 = text.toUtf8();
            const bool qt = static_cast<const AtspiElement*>(element.get())->utf16Lengths;
            const gint length = gint(qt ? text.size() : utf8.size());
            inserted =
                atspi().editable_text_insert_text(editable, position, utf8.constData(), length, error.out()) && !error;
        }
    }
    if (editable)
        atspi().object_unref(editable);
    if (readable)
        atspi().object_unref(readable);
    return inserted;
}

bool AtspiWorker::setValue(const AccessibleElementPtr& element, const QString& text)
{
    AtspiAccessible* object = objectOf(element);
    if (!object || !hasState(object, ATSPI_STATE_EDITABLE))
        return false;
    AtspiEditableText* editable = atspi().accessible_get_editable_text_iface(object);
    if (!editable)
        return false;
    Error error;
    const bool set =
        atspi().editable_text_set_text_contents(editable, text.toUtf8().constData(), error.out()) && !error;
    atspi().object_unref(editable);
    return set;
}

std::optional<QString> AtspiWorker::focusedWindowTitle(qint32 pid)
{
    if (!m_available)
        return std::nullopt;
    AtspiAccessible* desktop = atspi().get_desktop(0);
    if (!desktop)
        return std::nullopt;
    std::optional<QString> title;
    const gint applications = atspi().accessible_get_child_count(desktop, nullptr);
    for (gint a = 0; a < applications && !title; ++a) {
        AtspiAccessible* application = atspi().accessible_get_child_at_index(desktop, a, nullptr);
        if (!application)
            continue;
        Error error;
        if (qint32(atspi().accessible_get_process_id(application, error.out())) == pid && !error) {
            atspi().accessible_set_cache_mask(application, ATSPI_CACHE_NONE);
            std::optional<QString> first;
            const gint windows = atspi().accessible_get_child_count(application, nullptr);
            for (gint w = 0; w < windows && !title; ++w) {
                AtspiAccessible* window = atspi().accessible_get_child_at_index(application, w, nullptr);
                if (!window)
                    continue;
                std::optional<QString> name = takeString(atspi().accessible_get_name(window, nullptr));
                if (hasState(window, ATSPI_STATE_ACTIVE))
                    title = name;
                else if (!first)
                    first = name;
                atspi().object_unref(window);
            }
            if (!title)
                title = first;
        }
        atspi().object_unref(application);
    }
    atspi().object_unref(desktop);
    return title;
}
