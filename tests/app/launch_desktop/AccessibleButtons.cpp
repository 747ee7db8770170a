#include "tests/app/launch_desktop/AccessibleButtons.h"

// glib names a struct member "signals", which Qt defines as a keyword.
#undef signals
#include <atspi/atspi.h>

#include <functional>

namespace {

using Visit = std::function<bool(AtspiAccessible*)>;

bool isShowing(AtspiAccessible* node)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool showing = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    if (states)
        g_object_unref(states);
    return showing;
}

bool isButton(AtspiAccessible* node)
{
    return atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_PUSH_BUTTON;
}

bool isShowingButton(AtspiAccessible* node)
{
    return isButton(node) && isShowing(node);
}

QString nameOf(AtspiAccessible* node)
{
    gchar* name = atspi_accessible_get_name(node, nullptr);
    const QString text = QString::fromUtf8(name ? name : "");
    g_free(name);
    return text;
}

QString descriptionOf(AtspiAccessible* node)
{
    gchar* description = atspi_accessible_get_description(node, nullptr);
    const QString text = QString::fromUtf8(description ? description : "");
    g_free(description);
    return text;
}

// Each child of node in turn, until visit returns true; says whether it did.
bool forEachChild(AtspiAccessible* node, const Visit& visit)
{
    const gint children = atspi_accessible_get_child_count(node, nullptr);
    for (gint i = 0; i < children; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (!child)
            continue;
        const bool stop = visit(child);
        g_object_unref(child);
        if (stop)
            return true;
    }
    return false;
}

// Depth first, until visit returns true; bounded so a broken tree cannot hang the test.
bool walk(AtspiAccessible* node, const Visit& visit, int depth)
{
    if (visit(node))
        return true;
    // What is hidden hides everything inside it: the walk stays short in a program whose
    // windows hold many pages, only one of them showing.
    if (depth > 40 || (depth > 0 && !isShowing(node)))
        return false;
    return forEachChild(node, [&visit, depth](AtspiAccessible* child) { return walk(child, visit, depth + 1); });
}

// Every application the registry lists for pid: a program can be listed twice (a second
// connection of its own, or a stale entry), and only one of them holds its windows.
void forEachApplicationOf(qint64 pid, const Visit& visit)
{
    static const bool initialised = atspi_init() >= 0;
    Q_UNUSED(initialised);
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop)
        return;
    bool stop = false;
    const gint applications = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint a = 0; a < applications && !stop; ++a) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, a, nullptr);
        if (!application)
            continue;
        if (qint64(atspi_accessible_get_process_id(application, nullptr)) == pid) {
            // The sheet comes and goes; a cached tree would lag behind it.
            atspi_accessible_set_cache_mask(application, ATSPI_CACHE_NONE);
            stop = visit(application);
        }
        g_object_unref(application);
    }
    g_object_unref(desktop);
}

void forEachNodeOf(qint64 pid, const Visit& visit)
{
    forEachApplicationOf(pid, [&visit](AtspiAccessible* application) { return walk(application, visit, 0); });
}

} // namespace

namespace AccessibleButtons {

QStringList showing(qint64 pid)
{
    QStringList names;
    forEachNodeOf(pid, [&names](AtspiAccessible* node) {
        if (isShowingButton(node))
            names.append(nameOf(node));
        return false;
    });
    return names;
}

bool press(qint64 pid, const QString& name)
{
    bool pressed = false;
    forEachNodeOf(pid, [&](AtspiAccessible* node) {
        if (!isShowingButton(node) || nameOf(node) != name)
            return false;
        AtspiAction* action = atspi_accessible_get_action_iface(node);
        if (action) {
            pressed = atspi_action_do_action(action, 0, nullptr);
            g_object_unref(action);
        }
        return true;
    });
    return pressed;
}

std::optional<QRect> extents(qint64 pid, const QString& name, const QString& description)
{
    std::optional<QRect> found;
    forEachNodeOf(pid, [&](AtspiAccessible* node) {
        if (!isShowingButton(node) || nameOf(node) != name ||
            (!description.isEmpty() && descriptionOf(node) != description))
            return false;
        AtspiComponent* component = atspi_accessible_get_component_iface(node);
        if (!component)
            return true;
        AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr);
        if (rect && rect->width > 0 && rect->height > 0)
            found = QRect(rect->x, rect->y, rect->width, rect->height);
        g_free(rect);
        g_object_unref(component);
        return true;
    });
    return found;
}

QStringList showingTexts(qint64 pid)
{
    QStringList names;
    forEachNodeOf(pid, [&names](AtspiAccessible* node) {
        if (!isButton(node) && isShowing(node)) {
            const QString name = nameOf(node);
            if (!name.isEmpty())
                names.append(name);
        }
        return false;
    });
    return names;
}

QString describe(qint64 pid)
{
    QStringList applications;
    forEachApplicationOf(pid, [&applications](AtspiAccessible* application) {
        QStringList windows;
        forEachChild(application, [&windows](AtspiAccessible* window) {
            windows.append(nameOf(window) + (isShowing(window) ? QString() : QStringLiteral(" (hidden)")));
            return false;
        });
        applications.append(QStringLiteral("%1 [%2]").arg(nameOf(application), windows.join(QStringLiteral(", "))));
        return false;
    });
    return applications.isEmpty() ? QStringLiteral("no application of pid %1 on the accessibility bus").arg(pid)
                                  : applications.join(QStringLiteral("; "));
}

} // namespace AccessibleButtons
