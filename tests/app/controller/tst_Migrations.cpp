#include "app/controller/Migrations.h"
#include "app/controller/Settings.h"
#include "app/controller/SettingsTable.h"
#include "core/store/Lexicon.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Migrations::Hotkeys;

namespace {

QList<std::optional<Hotkey>> hotkeysOf(const Settings& settings)
{
    QList<std::optional<Hotkey>> keys;
    for (SettingKey key :
         {SettingKey::hkTalk, SettingKey::hkTranslate, SettingKey::hkCycle, SettingKey::hkAsk, SettingKey::hkRewrite})
        keys.append(settings.hotkey(key));
    return keys;
}

// The one-time flags: the rows of the table from the first of them on.
QList<SettingRow> migrationFlags()
{
    const auto& rows = SettingsTable::rows();
    return QList<SettingRow>(rows.begin() + qsizetype(SettingKey::didMigrateHotkeyV2), rows.end());
}

void setAllFlags(Settings& settings)
{
    for (const SettingRow& flag : migrationFlags())
        settings.setValue(flag.key, true);
}

QList<CorrectionPair> pairsOf(const Lexicon& lexicon)
{
    QList<CorrectionPair> pairs;
    for (const LearnedRule& rule : lexicon.allRules())
        pairs.append({rule.wrong, rule.right});
    return pairs;
}

} // namespace

class TestMigrations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_settings.emplace(m_dir->filePath(QStringLiteral("Murmo.conf")), nullptr);
    }

    void freshInstallationEndsWithTheCurrentHotkeys()
    {
        Migrations::migrateSettings(*m_settings);
        const QList<std::optional<Hotkey>> expected{fnAlone, altT, altSuperM, askKey, altR};
        QCOMPARE(hotkeysOf(*m_settings), expected);
        QCOMPARE(m_settings->text(SettingKey::hkTalk),
                 QStringLiteral(R"({"isModifierOnly":true,"keyCode":63,"modifiers":0})"));
        QCOMPARE(m_settings->hotkey(SettingKey::hkCycle)->modifiers, quint64(0x80000 | 0x100000));
        // The Fn-key and lexicon steps are not settings migrations and wait for their own calls.
        const QList<SettingKey> untouched{SettingKey::didAutoSetFnNoActionV8, SettingKey::didMergeBrandsV9,
                                          SettingKey::didMergeProductWordsV12, SettingKey::didMergeSeedV6,
                                          SettingKey::didPurgeBadRulesV7};
        // Done steps are on disk, not only in memory, once the migrations return.
        const QByteArray written = readFile(m_dir->filePath(QStringLiteral("Murmo.conf")));
        for (const SettingRow& flag : migrationFlags()) {
            QVERIFY2(m_settings->flag(flag.key) != untouched.contains(flag.key), qPrintable(flag.name));
            QVERIFY2(written.contains((flag.name + QStringLiteral("=true")).toUtf8()) != untouched.contains(flag.key),
                     qPrintable(flag.name));
        }
        QVERIFY(m_settings->isStored(SettingKey::contextReadText));
        QCOMPARE(m_settings->text(SettingKey::languageHint), QStringLiteral("auto"));
        QVERIFY(written.contains("languageHint=auto"));
    }

    void doneMigrationsKeepTheUsersValues()
    {
        setAllFlags(*m_settings);
        m_settings->setHotkey(SettingKey::hkTalk, altR);
        m_settings->setHotkey(SettingKey::hkAsk, altSpace);
        m_settings->setValue(SettingKey::hkRewrite, QString());
        m_settings->setValue(SettingKey::languageHint, QStringLiteral("zh"));
        m_settings->setValue(SettingKey::useStreaming, false);
        m_settings->setValue(SettingKey::contextReadText, false);
        Migrations::migrateSettings(*m_settings);
        const QList<std::optional<Hotkey>> expected{altR, std::nullopt, std::nullopt, altSpace, std::nullopt};
        QCOMPARE(hotkeysOf(*m_settings), expected);
        QCOMPARE(m_settings->text(SettingKey::hkRewrite), QString());
        QCOMPARE(m_settings->text(SettingKey::languageHint), QStringLiteral("zh"));
        QVERIFY(!m_settings->flag(SettingKey::useStreaming));
        QVERIFY(!m_settings->flag(SettingKey::contextReadText));
    }

    void clearedAskKeyGetsTheAskKeyFromTheChordStep()
    {
        // A user of an older version: talk and chords seeded long ago, ask cleared by hand.
        for (SettingKey flag : {SettingKey::didMigrateHotkeyV2, SettingKey::didSeedAskHotkey,
                                SettingKey::didSeedRewriteHotkeyV10, SettingKey::didReseedEmptyHkV3})
            m_settings->setValue(flag, true);
        m_settings->setHotkey(SettingKey::hkTalk, altSpace);
        m_settings->setValue(SettingKey::hkAsk, QString());
        m_settings->setHotkey(SettingKey::hkTranslate, altR);
        m_settings->setValue(SettingKey::hkCycle, QString());
        Migrations::migrateSettings(*m_settings);
        QCOMPARE(m_settings->hotkey(SettingKey::hkAsk), std::optional(askKey));
        QCOMPARE(m_settings->hotkey(SettingKey::hkTranslate), std::optional(altT));
        QCOMPARE(m_settings->hotkey(SettingKey::hkCycle), std::nullopt); // the reseed step had run
        QCOMPARE(m_settings->hotkey(SettingKey::hkTalk), std::optional(fnAlone));
    }

    void reseedFillsOnlyEmptyKeys()
    {
        for (SettingKey flag :
             {SettingKey::didMigrateHotkeyV2, SettingKey::didSeedAskHotkey, SettingKey::didSeedRewriteHotkeyV10})
            m_settings->setValue(flag, true);
        m_settings->setValue(SettingKey::didSeedChordKeysV5, true);
        m_settings->setHotkey(SettingKey::hkTranslate, altA);
        Migrations::migrateSettings(*m_settings);
        QCOMPARE(m_settings->hotkey(SettingKey::hkTranslate), std::optional(altA));
        QCOMPARE(m_settings->hotkey(SettingKey::hkCycle), std::optional(altSuperM));
        QCOMPARE(m_settings->hotkey(SettingKey::hkAsk), std::optional(altA));
    }

    void fnKeyStepActsOnceAndOnlyForFn_data()
    {
        QTest::addColumn<std::optional<Hotkey>>("talk");
        QTest::addColumn<bool>("hijacks");
        QTest::addColumn<int>("changes");
        QTest::addColumn<bool>("flag");
        QTest::newRow("fn, claimed") << std::optional(fnAlone) << true << 1 << true;
        QTest::newRow("fn, not claimed") << std::optional(fnAlone) << false << 0 << false;
        QTest::newRow("alt space, claimed") << std::optional(altSpace) << true << 0 << false;
        QTest::newRow("no talk key") << std::optional<Hotkey>() << true << 0 << false;
    }

    void fnKeyStepActsOnceAndOnlyForFn()
    {
        QFETCH(std::optional<Hotkey>, talk);
        QFETCH(bool, hijacks);
        QFETCH(int, changes);
        QFETCH(bool, flag);
        m_settings->setHotkey(SettingKey::hkTalk, talk);
        int made = 0;
        const Migrations::FnKeySystem system{[&] { return hijacks; }, [&] { return ++made > 0; }};
        Migrations::releaseFnKeyFromSystem(*m_settings, system);
        Migrations::releaseFnKeyFromSystem(*m_settings, system);
        QCOMPARE(made, changes);
        QCOMPARE(m_settings->flag(SettingKey::didAutoSetFnNoActionV8), flag);
    }

    void emptyLexiconIsSeeded()
    {
        Lexicon lexicon(m_dir->path());
        QVERIFY(!Migrations::seedLexicon(*m_settings, lexicon));
        const QStringList all = Migrations::seedWords() + Migrations::brandWords() + Migrations::productWords();
        for (const QString& word : all)
            QVERIFY2(lexicon.hotwords().contains(word), qPrintable(word));
        QCOMPARE(pairsOf(lexicon), QList<CorrectionPair>{Migrations::seedRule()});
        QCOMPARE(lexicon.allRules().first().source, QStringLiteral("seed"));
    }

    void filledLexiconGetsTheMergesOnce()
    {
        writeFile(
            m_dir->filePath(QStringLiteral("lexicon.json")),
            LexiconFixtures::document({{QStringLiteral("酷睿"), QStringLiteral("Core")}}, {QStringLiteral("Qt")}));
        {
            Lexicon lexicon(m_dir->path());
            QVERIFY(!Migrations::seedLexicon(*m_settings, lexicon));
            const QList<CorrectionPair> expected{{QStringLiteral("酷睿"), QStringLiteral("Core")},
                                                 Migrations::seedRule()};
            QCOMPARE(pairsOf(lexicon), expected);
            QCOMPARE(lexicon.allRules().last().source, QStringLiteral("generic_seed"));
            for (const QString& word : Migrations::brandWords() + Migrations::productWords() + Migrations::seedWords())
                QVERIFY2(lexicon.hotwords().contains(word), qPrintable(word));
            // The user removes a seeded word; a later start must not bring it back.
            lexicon.removeRule(lexicon.allRules().last().id);
        }
        Lexicon again(m_dir->path());
        Migrations::seedLexicon(*m_settings, again);
        QCOMPARE(pairsOf(again), (QList<CorrectionPair>{{QStringLiteral("酷睿"), QStringLiteral("Core")}}));
    }

    void purgeReportsRemovedRulesOnce()
    {
        writeFile(m_dir->filePath(QStringLiteral("lexicon.json")),
                  LexiconFixtures::document({{QStringLiteral("的"), QStringLiteral("地")}}));
        Lexicon lexicon(m_dir->path());
        QVERIFY(Migrations::seedLexicon(*m_settings, lexicon));
        QVERIFY(!pairsOf(lexicon).contains(CorrectionPair{QStringLiteral("的"), QStringLiteral("地")}));
        QVERIFY(!Migrations::seedLexicon(*m_settings, lexicon));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::optional<Settings> m_settings;
};

MURMO_TEST(TestMigrations)
#include "tst_Migrations.moc"
