#include "platform/linux/system/LinuxPermissionProbes.h"

#include <QAudioDevice>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMediaDevices>

#include <X11/Xlib.h>

namespace {

const QString a11yService = QStringLiteral("org.a11y.Bus");
const QString a11yPath = QStringLiteral("/org/a11y/bus");
const QString a11yStatus = QStringLiteral("org.a11y.Status");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int dbusTimeoutMs = 500;

} // namespace

bool LinuxPermissionProbes::microphoneAvailable()
{
    return !QMediaDevices::audioInputs().isEmpty();
}

bool LinuxPermissionProbes::accessibilityAvailable()
{
    return xExtensionsPresent() && accessibilityBusEnabled();
}

void LinuxPermissionProbes::enableAccessibility()
{
    QDBusMessage call = QDBusMessage::createMethodCall(a11yService, a11yPath, properties, QStringLiteral("Set"));
    call << a11yStatus << QStringLiteral("IsEnabled") << QVariant::fromValue(QDBusVariant(true));
    // Nothing in the answer is needed, and a hung bus must not hold up the caller: the bus
    // delivers this before any later request of ours, so the next probe sees its effect.
    QDBusConnection::sessionBus().send(call);
}

void LinuxPermissionProbes::watchChanges()
{
    if (m_devices)
        return;
    m_devices = new QMediaDevices(this);
    connect(m_devices, &QMediaDevices::audioInputsChanged, this, &PermissionProbes::mayHaveChanged);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // No sender named: naming one makes Qt ask the bus for its owner and wait for the answer on this
    // thread. Only the accessibility bus publishes this path.
    bus.connect(QString(), a11yPath, properties, QStringLiteral("PropertiesChanged"), this,
                SLOT(busPropertiesChanged(QString, QVariantMap, QStringList)));
    // A bus launcher that starts (or restarts) after us starts with its own switch.
    auto* launcher = new QDBusServiceWatcher(a11yService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(launcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &PermissionProbes::mayHaveChanged);
}

void LinuxPermissionProbes::busPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                 const QStringList& invalidated)
{
    const QStringList switches{QStringLiteral("IsEnabled"), QStringLiteral("ScreenReaderEnabled")};
    if (interface != a11yStatus)
        return;
    for (const QString& name : switches) {
        if (changed.contains(name) || invalidated.contains(name)) {
            Q_EMIT mayHaveChanged();
            return;
        }
    }
}

bool LinuxPermissionProbes::xExtensionsPresent()
{
    // Every look at the permissions would otherwise open a connection to the X server.
    static const bool present = [] {
        Display* display = XOpenDisplay(nullptr);
        if (!display)
            return false;
        int opcode = 0, event = 0, error = 0;
        const bool xtest = XQueryExtension(display, "XTEST", &opcode, &event, &error);
        const bool xinput = XQueryExtension(display, "XInputExtension", &opcode, &event, &error);
        XCloseDisplay(display);
        return xtest && xinput;
    }();
    return present;
}

bool LinuxPermissionProbes::accessibilityBusEnabled()
{
    QDBusMessage call = QDBusMessage::createMethodCall(a11yService, a11yPath, properties, QStringLiteral("Get"));
    call << a11yStatus << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, dbusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}
