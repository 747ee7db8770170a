#include "platform/linux/PortalAppearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString schemeKey = QStringLiteral("color-scheme");
constexpr int portalTimeoutMs = 2000;

// Read() wraps the value in one more variant than ReadOne(); unwrap whatever nesting arrives.
std::optional<uint> schemeFrom(QVariant value)
{
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return scheme;
}

} // namespace

PortalAppearance::PortalAppearance(QObject* parent)
    : Appearance(parent)
    , m_dark(paletteIsDark())
{
    if (qApp)
        qApp->installEventFilter(this);
    if (QDBusConnection::sessionBus().isConnected())
        askPortal();
}

void PortalAppearance::askPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Matched by path and interface, not by the portal's name: a name to match makes the bus
    // connection look up the name's owner and wait for the answer. Nothing but the portal sends
    // this signal from its path.
    bus.connect(QString(), portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QDBusMessage)));

    // Asked asynchronously: a missing portal must not hold anything up.
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    call << appearanceGroup << schemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, portalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &PortalAppearance::onInitialAnswer);
}

bool PortalAppearance::isDark() const
{
    return m_dark;
}

void PortalAppearance::onInitialAnswer(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    QDBusPendingReply<QDBusVariant> reply = *watcher;
    if (reply.isError())
        return;
    if (const auto scheme = schemeFrom(QVariant::fromValue(reply.value())))
        applyScheme(*scheme);
}

void PortalAppearance::onSettingChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3 || arguments.at(0).toString() != appearanceGroup ||
        arguments.at(1).toString() != schemeKey)
        return;
    if (const auto scheme = schemeFrom(arguments.at(2)))
        applyScheme(*scheme);
}

void PortalAppearance::applyScheme(uint scheme)
{
    m_portalScheme = scheme;
    reevaluate();
}

bool PortalAppearance::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        reevaluate();
    return Appearance::eventFilter(watched, event);
}

void PortalAppearance::reevaluate()
{
    bool dark = paletteIsDark();
    if (m_portalScheme == 1u)
        dark = true;
    else if (m_portalScheme == 2u)
        dark = false;
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged(dark);
}

bool PortalAppearance::paletteIsDark()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Window).lightness() < 128;
}
