#include "tests/app/launch_desktop/AccessibleButtons.h"
#include "tests/app/launch_desktop/MurmoProcess.h"
#include "tests/app/launch_desktop/ProgramHome.h"
#include "tests/app/launch_desktop/X11Windows.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <memory>

// What the status line says about the settings file as the program starts, read from the screen
// as a screen reader does, against what the file on disk then holds.
class TestSettingsSavedOnDesktop : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 20000;
    static inline const QString kNotSaved = QStringLiteral("设置无法保存");

    std::unique_ptr<ProgramHome> m_home;
    std::unique_ptr<FakeGateway> m_gateway;
    X11Windows m_windows;

    QString configFolder() const { return m_home->filePath(QStringLiteral("config/Murmo")); }
    QString configFile() const { return configFolder() + QStringLiteral("/Murmo.conf"); }
    QProcessEnvironment environment() const { return m_home->environment(m_gateway->baseUrl().toString()); }

    // The line the status bar shows once the start has finished: the ready line (or its warning
    // that the hotkeys are dead) or a notice that took its place. Empty until one shows.
    static QString startedLine(qint64 pid)
    {
        const QStringList texts = AccessibleButtons::showingTexts(pid);
        const auto line = std::find_if(texts.begin(), texts.end(), [](const QString& text) {
            return text.startsWith(QStringLiteral("就绪")) ||
                   text.startsWith(QStringLiteral("⚠️ 快捷键未生效")) || text.startsWith(kNotSaved);
        });
        return line == texts.end() ? QString() : *line;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_windows.isOpen(), "needs the headless desktop (scripts/with-desktop)");
        QVERIFY2(QFile::exists(MurmoProcess::program()), "build the murmo target first");
    }

    void init()
    {
        m_home = std::make_unique<ProgramHome>();
        QVERIFY(m_home->isValid());
        m_gateway = std::make_unique<FakeGateway>();
    }

    void cleanup()
    {
        QFile::setPermissions(configFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_gateway.reset();
        m_home.reset();
    }

    // A first start and a start that adds this version's one-time steps to an older file write the
    // file while the window is up: the ready line, no notice. Where the file cannot be replaced
    // (its folder is read-only) the start says so.
    void aStartSaysWhetherTheSettingsAreSaved_data()
    {
        QTest::addColumn<QByteArray>("older");
        QTest::addColumn<bool>("writable");
        const QByteArray older = "[General]\ndidOnboard=true\ndidMigrateHotkeyV2=true\nrecordTrigger=hold\n";
        QTest::newRow("first start") << QByteArray() << true;
        QTest::newRow("older file") << older << true;
        QTest::newRow("read-only folder") << older << false;
    }

    void aStartSaysWhetherTheSettingsAreSaved()
    {
        QFETCH(QByteArray, older);
        QFETCH(bool, writable);
        if (!older.isEmpty()) {
            QVERIFY(QDir().mkpath(configFolder()));
            QVERIFY(writeFile(configFile(), older));
        }
        if (!writable)
            QVERIFY(QFile::setPermissions(configFolder(), QFile::ReadOwner | QFile::ExeOwner));

        // Under a umask, as a user whom the folder's mode binds, root included.
        MurmoProcess murmo(environment(), 022);
        QVERIFY(murmo.start());
        QString line;
        QTRY_VERIFY2_WITH_TIMEOUT(!(line = startedLine(murmo.pid())).isEmpty(),
                                  qPrintable(AccessibleButtons::describe(murmo.pid())), kWaitMs);
        QVERIFY2(line.startsWith(kNotSaved) == !writable, qPrintable(line));
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);

        const QByteArray written = readFile(configFile());
        QCOMPARE(written.contains("didForceAutoEngineV11=true"), writable);
        QCOMPARE(written.contains("recordTrigger=hold"), !older.isEmpty());
    }
};

MURMO_TEST(TestSettingsSavedOnDesktop)
#include "tst_SettingsSavedOnDesktop.moc"
