#include "app/controller/Settings.h"
#include "app/controller/SettingsTable.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Reader = std::function<QVariant(const Settings&)>;

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

    void typedAccessorsReadTheDefaults_data()
    {
        QTest::addColumn<Reader>("read");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char* name, Reader read, QVariant expected) {
            QTest::newRow(name) << read << expected;
        };
        row(
            "currentModeId", [](const Settings& s) { return QVariant(s.currentModeId()); }, QStringLiteral("formal"));
        row(
            "prefNoTrailingPeriod", [](const Settings& s) { return QVariant(s.prefNoTrailingPeriod()); }, true);
        row(
            "prefLineBreaks", [](const Settings& s) { return QVariant(s.prefLineBreaks()); }, false);
        row(
            "prefSpacesForCommas", [](const Settings& s) { return QVariant(s.prefSpacesForCommas()); }, false);
        row(
            "prefCustomNotes", [](const Settings& s) { return QVariant(s.prefCustomNotes()); }, QString());
        row(
            "autoCompose", [](const Settings& s) { return QVariant(s.autoCompose()); }, true);
        row(
            "appModeRules", [](const Settings& s) { return QVariant(s.appModeRulesJSON()); }, QStringLiteral("{}"));
        row(
            "contextAwareness", [](const Settings& s) { return QVariant(s.contextAwareness()); }, true);
        row(
            "autoLearnFromEdits", [](const Settings& s) { return QVariant(s.autoLearnFromEdits()); }, true);
        row(
            "contextReadText", [](const Settings& s) { return QVariant(s.contextReadText()); }, true);
        row(
            "quietBoost", [](const Settings& s) { return QVariant(s.quietBoost()); }, true);
        row(
            "languageHint", [](const Settings& s) { return QVariant(s.languageHint()); }, QStringLiteral("auto"));
        row(
            "useStreaming", [](const Settings& s) { return QVariant(s.useStreaming()); }, true);
        row(
            "recordTrigger", [](const Settings& s) { return QVariant(s.recordTrigger()); }, QStringLiteral("toggle"));
        row(
            "hkTalk", [](const Settings& s) { return QVariant(s.hkTalkJSON()); }, QString());
        row(
            "hkTranslate", [](const Settings& s) { return QVariant(s.hkTranslateJSON()); }, QString());
        row(
            "hkCycle", [](const Settings& s) { return QVariant(s.hkCycleJSON()); }, QString());
        row(
            "hkAsk", [](const Settings& s) { return QVariant(s.hkAskJSON()); }, QString());
        row(
            "hkRewrite", [](const Settings& s) { return QVariant(s.hkRewriteJSON()); }, QString());
        row(
            "showPartial", [](const Settings& s) { return QVariant(s.showPartial()); }, false);
        row(
            "soundFX", [](const Settings& s) { return QVariant(s.soundFX()); }, true);
        row(
            "skinId", [](const Settings& s) { return QVariant(s.skinId()); }, QStringLiteral("xuan"));
        row(
            "soundSet", [](const Settings& s) { return QVariant(s.soundSet()); }, QStringLiteral("cork"));
        row(
            "soundVolume", [](const Settings& s) { return QVariant(s.soundVolume()); }, 0.5);
        row(
            "duckOthers", [](const Settings& s) { return QVariant(s.duckOthers()); }, true);
        row(
            "providerId", [](const Settings& s) { return QVariant(s.providerId()); }, QStringLiteral("qwen"));
        row(
            "useGateway", [](const Settings& s) { return QVariant(s.useGateway()); }, true);
        row(
            "gatewayToken", [](const Settings& s) { return QVariant(s.gatewayToken()); }, QString());
        row(
            "qwenApiKey", [](const Settings& s) { return QVariant(s.qwenApiKey()); }, QString());
        row(
            "deepgramApiKey", [](const Settings& s) { return QVariant(s.deepgramApiKey()); }, QString());
        row(
            "anthropicApiKey", [](const Settings& s) { return QVariant(s.anthropicApiKey()); }, QString());
        row(
            "maxRecordMinutes", [](const Settings& s) { return QVariant(s.maxRecordMinutes()); }, 8);
        row(
            "didOnboard", [](const Settings& s) { return QVariant(s.didOnboard()); }, false);
    }

    void typedAccessorsReadTheDefaults()
    {
        QFETCH(Reader, read);
        QFETCH(QVariant, expected);
        Settings settings(path(), nullptr);
        QCOMPARE(read(settings), expected);
        // Reading never writes a default back.
        QVERIFY(!settings.isStored(QString::fromLatin1(QTest::currentDataTag())));
        QCOMPARE(readFile(path()), QByteArray());
    }

    void everyFlagStartsFalse()
    {
        Settings settings(path(), nullptr);
        QCOMPARE(SettingsTable::migrationFlags().size(), 13);
        for (const QString& flag : SettingsTable::migrationFlags())
            QVERIFY2(!settings.flag(flag), qPrintable(flag));
    }

    void everyRowRoundTripsThroughTheFile()
    {
        QHash<QString, QVariant> written;
        {
            Settings settings(path(), nullptr);
            for (const SettingRow& row : SettingsTable::rows()) {
                written.insert(row.key, otherThanDefault(row));
                settings.setValue(row.key, written.value(row.key));
            }
        }
        QVERIFY(isPrivate(path()));
        const Settings reopened(path(), nullptr);
        for (const SettingRow& row : SettingsTable::rows()) {
            QVERIFY2(reopened.isStored(row.key), qPrintable(row.key));
            QCOMPARE(asDefaultType(row, reopened.value(row.key)), written.value(row.key));
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
            settings.setValue(QStringLiteral("prefCustomNotes"), text);
        }
        QCOMPARE(Settings(path(), nullptr).prefCustomNotes(), text);
    }

    void fileIsPrivateFromTheStart()
    {
        Settings settings(path(), nullptr);
        QVERIFY(QFile::exists(path()));
        QVERIFY(isPrivate(path()));
        settings.setValue(QStringLiteral("qwenApiKey"), QStringLiteral("sk-1"));
        QVERIFY(isPrivate(path()));
    }

    void batchWritesTheFileWhenTheLastOneEnds()
    {
        Settings settings(path(), nullptr);
        {
            const Settings::Batch outer(settings);
            settings.setValue(QStringLiteral("languageHint"), QStringLiteral("en"));
            {
                const Settings::Batch inner(settings);
                settings.setValue(QStringLiteral("soundFX"), false);
            }
            // Read back at once, held back from the file until the outer batch ends.
            QCOMPARE(settings.languageHint(), QStringLiteral("en"));
            QVERIFY(!settings.soundFX());
            QVERIFY(!readFile(path()).contains("languageHint"));
        }
        const QByteArray written = readFile(path());
        QVERIFY(written.contains("languageHint=en"));
        QVERIFY(written.contains("soundFX=false"));
        QVERIFY(isPrivate(path()));
        // Without a batch every change reaches the file again.
        settings.setValue(QStringLiteral("languageHint"), QStringLiteral("zh"));
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
        settings.setValue(QStringLiteral("appModeRules"), stored);
        QVERIFY(settings.appModeRules().isEmpty());
    }

    void appModeRulesRoundTrip()
    {
        Settings settings(path(), nullptr);
        const QMap<QString, QString> rules{{QStringLiteral("code"), QStringLiteral("raw")},
                                           {QStringLiteral("thunderbird"), QStringLiteral("formal")}};
        settings.setAppModeRules(rules);
        QCOMPARE(settings.appModeRulesJSON(), QStringLiteral(R"({"code":"raw","thunderbird":"formal"})"));
        QCOMPARE(Settings(path(), nullptr).appModeRules(), rules);
    }

    void clampsOnRead_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("0 minutes") << "maxRecordMinutes"
                                   << "0" << 1.0;
        QTest::newRow("negative minutes") << "maxRecordMinutes"
                                          << "-4" << 1.0;
        QTest::newRow("15 minutes") << "maxRecordMinutes"
                                    << "15" << 15.0;
        QTest::newRow("garbage minutes") << "maxRecordMinutes"
                                         << "lots" << 8.0;
        QTest::newRow("silent volume") << "soundVolume"
                                       << "0" << 0.1;
        QTest::newRow("loud volume") << "soundVolume"
                                     << "3.5" << 1.0;
        QTest::newRow("mid volume") << "soundVolume"
                                    << "0.7" << 0.7;
        QTest::newRow("nan volume") << "soundVolume"
                                    << "nan" << 0.5;
        QTest::newRow("garbage volume") << "soundVolume"
                                        << "loud" << 0.5;
    }

    void clampsOnRead()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(double, expected);
        Settings settings(path(), nullptr);
        settings.setValue(key, stored);
        const Settings reopened(path(), nullptr);
        const double read = key == QLatin1String("soundVolume") ? reopened.soundVolume() : reopened.maxRecordMinutes();
        QCOMPARE(read, expected);
    }

    void secretsGoToTheKeyringNotTheFile()
    {
        FakeSecretStore keyring;
        {
            Settings settings(path(), &keyring);
            settings.setValue(QStringLiteral("anthropicApiKey"), QStringLiteral("sk-ant-1"));
            settings.setValue(QStringLiteral("providerId"), QStringLiteral("deepgram"));
            QCOMPARE(settings.anthropicApiKey(), QStringLiteral("sk-ant-1"));
            QCoreApplication::processEvents();
        }
        QVERIFY(!readFile(path()).contains("sk-ant-1"));
        QVERIFY(readFile(path()).contains("deepgram"));
        QCOMPARE(keyring.item(QStringLiteral("murmo-settings"), QStringLiteral("anthropicApiKey")),
                 std::optional<QByteArray>("sk-ant-1"));

        Settings reopened(path(), &keyring);
        QCOMPARE(reopened.anthropicApiKey(), QString());
        runTask(reopened.loadSecrets());
        QCOMPARE(reopened.anthropicApiKey(), QStringLiteral("sk-ant-1"));
    }

    void valueSetWhileLoadingWinsOverTheKeyring()
    {
        FakeSecretStore keyring;
        keyring.setItem(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken"), "old");
        keyring.holdReads();
        Settings settings(path(), &keyring);
        // The keyring's answer for the token is on its way when the token changes.
        QCoro::Task<void> loading = settings.loadSecrets();
        settings.setValue(QStringLiteral("gatewayToken"), QStringLiteral("new"));
        // The read was answered before the write landed, so it carries the old token.
        keyring.setItem(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken"), "old");
        keyring.releaseReads();
        runTask(std::move(loading));
        QCOMPARE(settings.gatewayToken(), QStringLiteral("new"));
    }

    void fileSecretsMoveIntoTheKeyring()
    {
        {
            Settings withoutKeyring(path(), nullptr);
            withoutKeyring.setValue(QStringLiteral("gatewayToken"), QStringLiteral("device-7"));
        }
        QVERIFY(readFile(path()).contains("device-7"));
        FakeSecretStore keyring;
        Settings settings(path(), &keyring);
        runTask(settings.loadSecrets());
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(path()).contains("device-7"), 20000);
        QCOMPARE(settings.gatewayToken(), QStringLiteral("device-7"));
        QCOMPARE(keyring.item(QStringLiteral("murmo-settings"), QStringLiteral("gatewayToken")),
                 std::optional<QByteArray>("device-7"));
    }

    void refusingKeyringKeepsTheSecretInTheFile()
    {
        FakeSecretStore keyring;
        keyring.setRefusingWrites(true);
        Settings settings(path(), &keyring);
        settings.setValue(QStringLiteral("qwenApiKey"), QStringLiteral("sk-qwen"));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path()).contains("sk-qwen"), 20000);
        QCOMPARE(Settings(path(), nullptr).qwenApiKey(), QStringLiteral("sk-qwen"));
    }

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Murmo/Murmo.conf")); }

    std::optional<QTemporaryDir> m_dir;
};

MURMO_TEST(TestSettings)
#include "tst_Settings.moc"
