#include "platform/linux/PortalAppearance.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

#include <optional>

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr int kWaitMs = 20000;

QDBusMessage readColorScheme()
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.portal.Settings"),
                                                       QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    return call;
}

QPalette paletteWithWindow(const QColor& window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}

} // namespace

// The settings part of the desktop portal, on a bus connection of its own so calls to it travel
// through the session bus as they would to the real portal.
class FakePortalSettings : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    std::optional<uint> scheme;
    int reads = 0;

    FakePortalSettings()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal")))
    {}

    ~FakePortalSettings() override
    {
        m_bus.unregisterObject(path);
        m_bus.unregisterService(service);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }

    bool publish()
    {
        return m_bus.registerObject(path, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
               m_bus.registerService(service);
    }

    void change(const QString& group, const QString& key, uint value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        m_bus.send(signal);
    }

public Q_SLOTS:
    // Read answers with the value wrapped in one more variant, as the portal does.
    QDBusVariant Read(const QString& group, const QString& key)
    {
        ++reads;
        if (group != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme") || !scheme) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                           QStringLiteral("Requested setting not found"));
            return QDBusVariant(QVariant(0u));
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(*scheme)));
    }

private:
    QDBusConnection m_bus;
};

class TestPortalAppearance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs the session bus of scripts/with-desktop");
    }

    void cleanup() { QApplication::setPalette(QPalette()); }

    void withoutAPortalThePaletteDecides()
    {
        QApplication::setPalette(paletteWithWindow(QColor("#202020")));
        PortalAppearance appearance;
        QVERIFY(appearance.isDark());
        QSignalSpy changed(&appearance, &Appearance::darkChanged);
        QApplication::setPalette(paletteWithWindow(QColor("#f0f0f0")));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, kWaitMs);
        QVERIFY(!appearance.isDark());
        QCOMPARE(changed.at(0).at(0).toBool(), false);
    }

    void portalPreferenceBeatsThePalette()
    {
        FakePortalSettings portal;
        portal.scheme = 1u;
        QVERIFY(portal.publish());
        QApplication::setPalette(paletteWithWindow(QColor("#f0f0f0")));

        PortalAppearance appearance;
        QSignalSpy changed(&appearance, &Appearance::darkChanged);
        QVERIFY(!appearance.isDark()); // the palette answers until the portal does
        QTRY_VERIFY_WITH_TIMEOUT(appearance.isDark(), kWaitMs);
        QCOMPARE(portal.reads, 1);
        QCOMPARE(changed.count(), 1);

        // Unrelated settings change nothing.
        portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"), 2u);
        portal.change(QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme"), 2u);
        portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 2u);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, kWaitMs);
        QVERIFY(!appearance.isDark());

        portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 1u);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 3, kWaitMs);
        QVERIFY(appearance.isDark());

        // "No preference" hands the decision back to the palette.
        portal.change(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"), 0u);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 4, kWaitMs);
        QVERIFY(!appearance.isDark());
    }

    void portalWithoutTheSettingLeavesThePalette()
    {
        FakePortalSettings portal;
        QVERIFY(portal.publish());
        QApplication::setPalette(paletteWithWindow(QColor("#101010")));
        PortalAppearance appearance;
        QTRY_COMPARE_WITH_TIMEOUT(portal.reads, 1, kWaitMs);
        // The portal answers in the order it is asked, and its answers reach this thread in that
        // order: once it has answered a later question, the program has had its answer.
        QDBusPendingCallWatcher later(QDBusConnection::sessionBus().asyncCall(readColorScheme()));
        QSignalSpy answered(&later, &QDBusPendingCallWatcher::finished);
        QVERIFY(answered.wait(kWaitMs));
        QVERIFY(appearance.isDark());
    }
};

MURMO_TEST(TestPortalAppearance)
#include "tst_PortalAppearance.moc"
