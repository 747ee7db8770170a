#include "app/controller/Settings.h"
#include "app/controller/SettingsTable.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <array>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stored value other than the row's default, of the same type.
QVariant otherThanDefault(const SettingRow& row)
{
    switch (row.defaultValue.typeId()) {
    case QMetaType::Bool:
        return !row.defaultValue.toBool();
    case QMetaType::Int:
        return row.defaultValue.toInt() + 3;
    case QMetaType::Double:
        return 0.25;
    default:
        return QVariant(row.defaultValue.toString() + QStringLiteral("·变"));
    }
}

QVariant asDefaultType(const SettingRow& row, const QVariant& value)
{
    QVariant converted = value;
    converted.convert(row.defaultValue.metaType());
    return converted;
}

// Read and write for the owner, nothing for the group or others.
bool isPrivate(const QString& path)
{
    const QFileDevice::Permissions permissions = QFile::permissions(path);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    return permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && !(permissions & others);
}

// Puts a kind of thing at path as an older version, under the usual umask, would have left it:
// open to others. A "huge" file is sparse: its size without the disk.
bool place(const QString& path, const QString& kind, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QByteArray name = QFile::encodeName(path);
    if (kind == QLatin1String("pipe"))
        return ::mkfifo(name.constData(), 0644) == 0;
    if (kind == QLatin1String("folder"))
        return ::mkdir(name.constData(), 0755) == 0;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    if (kind == QLatin1String("huge") && !file.resize(200LL * 1024 * 1024))
        return false;
    return ::chmod(name.constData(), 0644) == 0;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
    }

    void tableHoldsOneRowPerKeyInKeyOrder()
    {
        QSet<QString> names;
        for (std::size_t i = 0; i < SettingsTable::rows().size(); ++i) {
            const SettingRow& row = SettingsTable::rows()[i];
            QCOMPARE(std::size_t(row.key), i);
            QVERIFY(!row.name.isEmpty());
            QVERIFY2(!names.contains(row.name), qPrintable(row.name));
            names.insert(row.name);
        }
    }

    void readingWritesNoDefaultBack()
    {
        Settings settings(path(), nullptr);
        for (const SettingRow& row : SettingsTable::rows()) {
            QCOMPARE(settings.value(row.key), row.defaultValue);
            QVERIFY2(!settings.isStored(row.key), qPrintable(row.name));
        }
        QCOMPARE(readFile(path()), QByteArray());
    }

    void everyRowRoundTripsThroughTheFile()
    {
        std::array<QVariant, settingKeyCount> written;
        {
            Settings settings(path(), nullptr);
            for (const SettingRow& row : SettingsTable::rows()) {
                written[std::size_t(row.key)] = otherThanDefault(row);
                settings.setValue(row.key, written[std::size_t(row.key)]);
            }
        }
        QVERIFY(isPrivate(path()));
        const Settings reopened(path(), nullptr);
        for (const SettingRow& row : SettingsTable::rows()) {
            QVERIFY2(reopened.isStored(row.key), qPrintable(row.name));
            QCOMPARE(asDefaultType(row, reopened.value(row.key)), written[std::size_t(row.key)]);
        }
    }

    void awkwardTextsRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("commas") << QStringLiteral("a, b,c");
        QTest::newRow("at sign") << QStringLiteral("@Variant(x)");
        QTest::newRow("lines") << QStringLiteral("句末不加句号\n  数字用阿拉伯数字\n");
        QTest::newRow("padding") << QStringLiteral("  padded\t");
        QTest::newRow("looks boolean") << QStringLiteral("true");
        QTest::newRow("JSON") << QStringLiteral(R"({"code":"raw","a=b":"x;y"})");
        QTest::newRow("backslashes and quotes") << QStringLiteral(R"(C:\path "quoted" ; # not a comment)");
    }

    void awkwardTextsRoundTrip()
    {
        QFETCH(QString, text);
        {
            Settings settings(path(), nullptr);
            settings.setValue(SettingKey::prefCustomNotes, text);
        }
        QCOMPARE(Settings(path(), nullptr).text(SettingKey::prefCustomNotes), text);
    }

    void fileIsPrivateFromTheStart()
    {
        Settings settings(path(), nullptr);
        QVERIFY(QFile::exists(path()));
        QVERIFY(isPrivate(path()));
        settings.setValue(SettingKey::qwenApiKey, QStringLiteral("sk-1"));
        QVERIFY(isPrivate(path()));
    }

    // A file a person edited is read as the INI reader reads it: every value it yields is kept,
    // and a later write keeps them too.
    void aHandEditedFileKeepsItsValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("holdsValues");
        const QByteArray lines = "[General]\nhkTalk=\"{\\\"keyCode\\\":49,\\\"modifiers\\\":262144,"
                                 "\\\"isModifierOnly\\\":false}\"\nrecordTrigger=hold\ndidOnboard=true\n";
        QTest::newRow("no final line break") << lines.chopped(1) << true;
        QTest::newRow("CRLF line ends") << QByteArray(lines).replace("\n", "\r\n") << true;
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + lines << true;
        QTest::newRow("a stray line") << QByteArray(lines).insert(10, "the quick brown fox\n") << true;
        QTest::newRow("comments") << "; mine\n# also mine\n" + lines << true;
        QTest::newRow("unknown keys") << lines + "futureKey=1\n[Elsewhere]\nother=2\n" << true;
        QTest::newRow("no section") << lines.mid(10) << true;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void aHandEditedFileKeepsItsValues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, holdsValues);
        QVERIFY(QDir().mkpath(QFileInfo(path()).absolutePath()));
        QVERIFY(writeFile(path(), bytes));
        for (int run = 0; run < 2; ++run) {
            Settings settings(path(), nullptr);
            QCOMPARE(settings.setAsidePath(), QString());
            QCOMPARE(settings.hotkey(SettingKey::hkTalk),
                     holdsValues ? std::optional(Hotkey{49, 0x40000, false}) : std::nullopt);
            QCOMPARE(settings.text(SettingKey::recordTrigger) == QStringLiteral("hold"), holdsValues);
            QCOMPARE(settings.flag(SettingKey::didOnboard), holdsValues);
            // The second run reads what this write left.
            settings.setValue(SettingKey::soundFX, false);
        }
        QCOMPARE(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(path()).fileName()});
    }

    // What cannot be settings at all is set aside whole and closed to others, whatever mode an
    // older version left it with (it may hold keys), and the settings start afresh.
    void whatCannotBeSettingsIsSetAsidePrivately_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray secrets = "[General]\ngatewayToken=device-7\ndeepgramApiKey=dg-1\n";
        QTest::newRow("NUL bytes") << "file" << secrets + QByteArray(4, '\0') + "\n";
        QTest::newRow("not UTF-8") << "file" << secrets + "prefCustomNotes=\xC3\x28\xFF\n";
        QTest::newRow("past the size cap") << "huge" << secrets;
        QTest::newRow("a pipe") << "pipe" << QByteArray();
        QTest::newRow("a folder") << "folder" << QByteArray();
    }

    void whatCannotBeSettingsIsSetAsidePrivately()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        const QString folder = QFileInfo(path()).absolutePath();
        QVERIFY(place(path(), kind, bytes));
        const qint64 size = QFileInfo(path()).size();

        Settings settings(path(), nullptr);
        const QStringList aside =
            QDir(folder).entryList({QStringLiteral("Murmo.conf.unreadable-*")}, QDir::AllEntries | QDir::System);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(QFileInfo(settings.setAsidePath()).fileName(), aside.constFirst());
        QCOMPARE(QFileInfo(settings.setAsidePath()).size(), size);
        QVERIFY(isPrivate(settings.setAsidePath()));
        QCOMPARE(settings.text(SettingKey::gatewayToken), QString());
        settings.setValue(SettingKey::recordTrigger, QStringLiteral("hold"));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).allKeys(), QStringList{QStringLiteral("recordTrigger")});
        QVERIFY(isPrivate(path()));
    }

    // What cannot be settings and cannot be moved aside either is never opened (reading a pipe
    // would hold the start for ever): the settings run on defaults in memory and cannot be saved.
    void whatCannotBeMovedIsNeverOpened_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a pipe") << "pipe" << QByteArray();
        QTest::newRow("NUL bytes") << "file" << QByteArray("[General]\ndidOnboard=true\n\0\n", 28);
    }

    void whatCannotBeMovedIsNeverOpened()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        const QString name = nameWithNoRoomToSetAside(QStringLiteral(".conf"));
        const QString stuck = m_dir->filePath(QStringLiteral("Murmo/") + name);
        QVERIFY(place(stuck, kind, bytes));

        Settings settings(stuck, nullptr);
        QVERIFY(!settings.canSave());
        QCOMPARE(settings.setAsidePath(), QString());
        QVERIFY(!settings.flag(SettingKey::didOnboard));
        settings.setValue(SettingKey::recordTrigger, QStringLiteral("hold"));
        QCOMPARE(settings.text(SettingKey::recordTrigger), QStringLiteral("hold"));
        // Left as it stood, with nothing beside it.
        QCOMPARE(
            QDir(QFileInfo(stuck).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
            QStringList{name});
        if (kind == QLatin1String("file"))
            QCOMPARE(readFile(stuck), bytes);
    }

    // A write that fails is told once and loses nothing this run holds: the first write that lands
    // takes the earlier changes along.
    void aFailedWriteIsToldOnceAndTriedAgain_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray lines = "[General]\nrecordTrigger=hold\n";
        QTest::newRow("plain") << lines;
        // Lines the INI reader stumbles over, which leave QSettings::status() at an error for good.
        QTest::newRow("a stray line") << "the quick brown fox\n" + lines;
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + lines;
    }

    void aFailedWriteIsToldOnceAndTriedAgain()
    {
        QFETCH(QByteArray, bytes);
        const QString folder = QFileInfo(path()).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(path(), bytes));
        Settings settings(path(), nullptr);
        QSignalSpy failed(&settings, &Settings::savingFailed);
        QVERIFY(settings.canSave());
        // With a file in the folder's place no save file can be made, whoever runs the program.
        QVERIFY(QDir().rename(folder, folder + QStringLiteral("-away")));
        QVERIFY(writeFile(folder, {}));
        settings.setValue(SettingKey::soundFX, false);
        settings.setValue(SettingKey::languageHint, QStringLiteral("en"));
        QVERIFY(!settings.canSave());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(settings.text(SettingKey::languageHint), QStringLiteral("en"));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + QStringLiteral("-away"), folder));
        settings.setValue(SettingKey::didOnboard, true);
        QVERIFY(settings.canSave());
        const Settings reopened(path(), nullptr);
        QVERIFY(!reopened.flag(SettingKey::soundFX));
        QCOMPARE(reopened.text(SettingKey::languageHint), QStringLiteral("en"));
        QVERIFY(reopened.flag(SettingKey::didOnboard));
        QCOMPARE(reopened.text(SettingKey::recordTrigger), QStringLiteral("hold"));
    }

    // A link is followed to the user's own file (settings kept with other dotfiles), never to
    // another user's: that one would choose this user's hotkeys and receive the keys. The link is
    // set aside, the file it names left as it was, and the settings start afresh.
    void aLinkIsFollowedOnlyToTheUsersOwnFile_data()
    {
        QTest::addColumn<uint>("owner");
        QTest::newRow("the user's own") << uint(::geteuid());
        QTest::newRow("another user's") << 65534U;
    }

    void aLinkIsFollowedOnlyToTheUsersOwnFile()
    {
        QFETCH(uint, owner);
        const bool own = owner == ::geteuid();
        const QString target = m_dir->filePath(QStringLiteral("elsewhere.conf"));
        const QByteArray bytes = "[General]\nrecordTrigger=hold\n";
        QVERIFY(writeFile(target, bytes));
        if (::chown(QFile::encodeName(target).constData(), owner, owner) != 0)
            QSKIP("only root can give a file to another user");
        QVERIFY(QDir().mkpath(QFileInfo(path()).absolutePath()));
        QVERIFY(QFile::link(target, path()));

        Settings settings(path(), nullptr);
        settings.setValue(SettingKey::languageHint, QStringLiteral("en"));
        QCOMPARE(settings.text(SettingKey::recordTrigger) == QStringLiteral("hold"), own);
        QCOMPARE(readFile(target) == bytes, !own);
        QCOMPARE(QFileInfo(path()).isSymLink(), own);
        QCOMPARE(QFileInfo(settings.setAsidePath()).symLinkTarget(), own ? QString() : target);
        QCOMPARE(Settings(path(), nullptr).text(SettingKey::languageHint), QStringLiteral("en"));
    }

    // The held writes span event-loop turns (a start shows its window meanwhile), and the one write
    // at the end is judged by what it did: landed.
    void batchWritesTheFileWhenTheLastOneEnds()
    {
        Settings settings(path(), nullptr);
        QSignalSpy failed(&settings, &Settings::savingFailed);
        {
            const Settings::Batch outer(settings);
            settings.setValue(SettingKey::languageHint, QStringLiteral("en"));
            {
                const Settings::Batch inner(settings);
                settings.setValue(SettingKey::soundFX, false);
            }
            QCoreApplication::processEvents();
            // Read back at once, held back from the file until the outer batch ends.
            QCOMPARE(settings.text(SettingKey::languageHint), QStringLiteral("en"));
            QVERIFY(!settings.flag(SettingKey::soundFX));
            QVERIFY(!readFile(path()).contains("languageHint"));
        }
        const QByteArray written = readFile(path());
        QVERIFY(written.contains("languageHint=en"));
        QVERIFY(written.contains("soundFX=false"));
        QVERIFY(isPrivate(path()));
        QVERIFY(settings.canSave());
        QCOMPARE(failed.count(), 0);
        // Without a batch every change reaches the file again.
        settings.setValue(SettingKey::languageHint, QStringLiteral("zh"));
        QVERIFY(readFile(path()).contains("languageHint=zh"));
    }

    void appModeRulesReadBadTextAsEmpty_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("not JSON") << QStringLiteral("{not json");
        QTest::newRow("array") << QStringLiteral("[\"a\",\"b\"]");
        QTest::newRow("number value") << QStringLiteral("{\"code\":1}");
        QTest::newRow("one bad value") << QStringLiteral("{\"code\":\"raw\",\"x\":null}");
        QTest::newRow("empty") << QString();
        QTest::newRow("string") << QStringLiteral("\"formal\"");
    }

    void appModeRulesReadBadTextAsEmpty()
    {
        QFETCH(QString, stored);
        Settings settings(path(), nullptr);
        settings.setValue(SettingKey::appModeRules, stored);
        QVERIFY(settings.appModeRules().isEmpty());
    }

    void appModeRulesRoundTrip()
    {
        Settings settings(path(), nullptr);
        const QMap<QString, QString> rules{{QStringLiteral("code"), QStringLiteral("raw")},
                                           {QStringLiteral("thunderbird"), QStringLiteral("formal")}};
        settings.setAppModeRules(rules);
        QCOMPARE(settings.text(SettingKey::appModeRules), QStringLiteral(R"({"code":"raw","thunderbird":"formal"})"));
        QCOMPARE(Settings(path(), nullptr).appModeRules(), rules);
    }

    void numbersReadWithinTheirRange_data()
    {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QVariant>("expected");
        const SettingKey minutes = SettingKey::maxRecordMinutes;
        const SettingKey volume = SettingKey::soundVolume;
        QTest::newRow("0 minutes") << minutes << "0" << QVariant(1);
        QTest::newRow("negative minutes") << minutes << "-4" << QVariant(1);
        QTest::newRow("15 minutes") << minutes << "15" << QVariant(15);
        QTest::newRow("fractional minutes") << minutes << "1.5" << QVariant(8);
        QTest::newRow("garbage minutes") << minutes << "lots" << QVariant(8);
        QTest::newRow("silent volume") << volume << "0" << QVariant(0.1);
        QTest::newRow("loud volume") << volume << "3.5" << QVariant(1.0);
        QTest::newRow("mid volume") << volume << "0.7" << QVariant(0.7);
        QTest::newRow("nan volume") << volume << "nan" << QVariant(0.5);
        QTest::newRow("garbage volume") << volume << "loud" << QVariant(0.5);
    }

    void numbersReadWithinTheirRange()
    {
        QFETCH(SettingKey, key);
        QFETCH(QString, stored);
        QFETCH(QVariant, expected);
        Settings(path(), nullptr).setValue(key, stored);
        QCOMPARE(Settings(path(), nullptr).value(key), expected);
    }

    void secretsGoToTheKeyringNotTheFile()
    {
        FakeSecretStore keyring;
        {
            Settings settings(path(), &keyring);
            settings.setValue(SettingKey::anthropicApiKey, QStringLiteral("sk-ant-1"));
            settings.setValue(SettingKey::providerId, QStringLiteral("deepgram"));
            QCOMPARE(settings.text(SettingKey::anthropicApiKey), QStringLiteral("sk-ant-1"));
            QCoreApplication::processEvents();
        }
        QVERIFY(!readFile(path()).contains("sk-ant-1"));
        QVERIFY(readFile(path()).contains("deepgram"));
        QCOMPARE(keyring.item(QStringLiteral("murmo-settings"), QStringLiteral("anthropicApiKey")),
                 std::optional<QByteArray>("sk-ant-1"));

        Settings reopened(path(), &keyring);
        QCOMPARE(reopened.text(SettingKey::anthropicApiKey), QString());
        runTask(reopened.loadSecrets());
        QCOMPARE(reopened.text(SettingKey::anthropicApiKey), QStringLiteral("sk-ant-1"));
    }

    void valueSetWhileLoadingWinsOverTheKeyring()
    {
        FakeSecretStore keyring;
        keyring.setItem(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken"), "old");
        keyring.holdReads();
        Settings settings(path(), &keyring);
        // The keyring's answer for the token is on its way when the token changes.
        QCoro::Task<void> loading = settings.loadSecrets();
        settings.setValue(SettingKey::gatewayToken, QStringLiteral("new"));
        // The read was answered before the write landed, so it carries the old token.
        keyring.setItem(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken"), "old");
        keyring.releaseReads();
        runTask(std::move(loading));
        QCOMPARE(settings.text(SettingKey::gatewayToken), QStringLiteral("new"));
    }

    // The file on disk loses the secret while the program runs, not only once it closes.
    void fileSecretsMoveIntoTheKeyring()
    {
        {
            Settings withoutKeyring(path(), nullptr);
            withoutKeyring.setValue(SettingKey::gatewayToken, QStringLiteral("device-7"));
        }
        QVERIFY(readFile(path()).contains("device-7"));
        FakeSecretStore keyring;
        Settings settings(path(), &keyring);
        runTask(settings.loadSecrets());
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(path()).contains("device-7"), 20000);
        QCOMPARE(settings.text(SettingKey::gatewayToken), QStringLiteral("device-7"));
        QCOMPARE(keyring.item(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken")),
                 std::optional<QByteArray>("device-7"));
    }

    void refusingKeyringKeepsTheSecretInTheFile()
    {
        FakeSecretStore keyring;
        keyring.setRefusingWrites(true);
        Settings settings(path(), &keyring);
        settings.setValue(SettingKey::qwenApiKey, QStringLiteral("sk-qwen"));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path()).contains("sk-qwen"), 20000);
        QCOMPARE(Settings(path(), nullptr).text(SettingKey::qwenApiKey), QStringLiteral("sk-qwen"));
    }

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Murmo/Murmo.conf")); }

    std::optional<QTemporaryDir> m_dir;
};

MURMO_TEST(TestSettings)
#include "tst_Settings.moc"
