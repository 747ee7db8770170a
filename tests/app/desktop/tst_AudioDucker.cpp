#include "app/desktop/AudioDucker.h"
#include "tests/support/FakeOutputVolume.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class AudioDuckerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() { QFile::remove(stateFile()); }

    void ducksAndRestores_data()
    {
        QTest::addColumn<float>("before");
        QTest::addColumn<float>("duringRecording"); // < 0: left as ducked
        QTest::addColumn<float>("after");
        QTest::addColumn<QStringList>("changes");
        QTest::newRow("0.8 restored") << 0.8f << -1.0f << 0.8f << QStringList{"speakers=0.2", "speakers=0.8"};
        QTest::newRow("user raised to 0.5") << 0.8f << 0.5f << 0.5f << QStringList{"speakers=0.2"};
        QTest::newRow("drifted to 0.17") << 0.8f << 0.17f << 0.8f << QStringList{"speakers=0.2", "speakers=0.8"};
        QTest::newRow("drifted to 0.23") << 0.8f << 0.23f << 0.8f << QStringList{"speakers=0.2", "speakers=0.8"};
        QTest::newRow("lowered to 0.1") << 0.8f << 0.1f << 0.1f << QStringList{"speakers=0.2"};
        QTest::newRow("0.25 left alone") << 0.25f << -1.0f << 0.25f << QStringList{};
        QTest::newRow("0.2 left alone") << 0.2f << -1.0f << 0.2f << QStringList{};
        QTest::newRow("0.26 ducked") << 0.26f << -1.0f << 0.26f << QStringList{"speakers=0.2", "speakers=0.26"};
    }

    void ducksAndRestores()
    {
        QFETCH(float, before);
        QFETCH(float, duringRecording);
        QFETCH(float, after);
        QFETCH(QStringList, changes);
        FakeOutputVolume output;
        output.volumes["speakers"] = before;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        if (before > 0.25f) {
            QCOMPARE(output.volumes["speakers"], 0.2f);
            QVERIFY(ducker.saved());
            QVERIFY(QFile::exists(stateFile()));
        } else {
            QVERIFY(!ducker.saved());
            QVERIFY(!QFile::exists(stateFile()));
        }
        if (duringRecording >= 0)
            output.volumes["speakers"] = duringRecording;
        ducker.restore();
        QCOMPARE(output.volumes["speakers"], after);
        QCOMPARE(output.changes, changes);
        QVERIFY(!ducker.saved());
        QVERIFY(!QFile::exists(stateFile()));
    }

    void duckingTwiceKeepsTheFirstVolume()
    {
        FakeOutputVolume output;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        output.volumes["speakers"] = 0.9f;
        ducker.duck();
        QCOMPARE(ducker.saved()->volume, 0.8f);
        output.volumes["speakers"] = 0.2f;
        ducker.restore();
        QCOMPARE(output.volumes["speakers"], 0.8f);
    }

    void neverTouchesAnOutputWithoutSettableVolume()
    {
        FakeOutputVolume output;
        output.settable = false;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        ducker.restore();
        QVERIFY(output.changes.isEmpty());
        QVERIFY(!QFile::exists(stateFile()));
    }

    void aRefusedDuckSavesNothing()
    {
        FakeOutputVolume output;
        output.refuseSet = true;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        QVERIFY(!ducker.saved());
        QVERIFY(!QFile::exists(stateFile()));
    }

    void withoutASoundServerNothingHappens()
    {
        FakeOutputVolume output;
        output.serverGone = true;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        QVERIFY(!ducker.saved());
        output.serverGone = false;
        ducker.restore();
        QVERIFY(output.changes.isEmpty());
    }

    void restoreForgetsEvenWhenTheServerIsGone()
    {
        FakeOutputVolume output;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        output.serverGone = true;
        ducker.restore();
        QVERIFY(!ducker.saved());
        QVERIFY(!QFile::exists(stateFile()));
        output.serverGone = false;
        ducker.restore();
        QCOMPARE(output.volumes["speakers"], 0.2f);
    }

    void neverRestoresOntoAnotherOutput()
    {
        FakeOutputVolume output;
        output.volumes["headphones"] = 0.2f;
        AudioDucker ducker(output, stateFile());
        ducker.duck();
        output.defaultSink = "headphones";
        ducker.restore();
        QCOMPARE(output.volumes["headphones"], 0.2f);
        QCOMPARE(output.volumes["speakers"], 0.2f);
        QCOMPARE(output.changes, QStringList{"speakers=0.2"});
    }

    void aCrashWhileDuckedIsRepairedAtTheNextStart()
    {
        FakeOutputVolume output;
        {
            AudioDucker crashed(output, stateFile());
            crashed.duck();
            // The process dies here: no restore.
        }
        QCOMPARE(output.volumes["speakers"], 0.2f);
        AudioDucker next(output, stateFile());
        next.restoreAfterCrash();
        QCOMPARE(output.volumes["speakers"], 0.8f);
        QVERIFY(!QFile::exists(stateFile()));
        QVERIFY(!next.saved());
    }

    void aCrashRepairRespectsTheUsersChoiceAndTheDevice_data()
    {
        QTest::addColumn<QString>("sinkNow");
        QTest::addColumn<float>("volumeNow");
        QTest::newRow("user changed the volume") << "speakers" << 0.6f;
        QTest::newRow("another device") << "headphones" << 0.2f;
    }

    void aCrashRepairRespectsTheUsersChoiceAndTheDevice()
    {
        QFETCH(QString, sinkNow);
        QFETCH(float, volumeNow);
        writeState(R"({"sink":"speakers","volume":0.8})");
        FakeOutputVolume output;
        output.volumes["headphones"] = 0.2f;
        output.defaultSink = sinkNow;
        output.volumes[sinkNow] = volumeNow;
        AudioDucker ducker(output, stateFile());
        ducker.restoreAfterCrash();
        QVERIFY(output.changes.isEmpty());
        QVERIFY(!QFile::exists(stateFile()));
    }

    void anUnreadableStateIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("{sink");
        QTest::newRow("no sink") << QByteArray(R"({"volume":0.8})");
        QTest::newRow("no volume") << QByteArray(R"({"sink":"speakers"})");
        QTest::newRow("negative volume") << QByteArray(R"({"sink":"speakers","volume":-1})");
    }

    void anUnreadableStateIsMovedAside()
    {
        QFETCH(QByteArray, content);
        writeState(content);
        FakeOutputVolume output;
        output.volumes["speakers"] = 0.2f;
        AudioDucker ducker(output, stateFile());
        ducker.restoreAfterCrash();
        QVERIFY(output.changes.isEmpty());
        QVERIFY(!QFile::exists(stateFile()));
        const QStringList aside = QDir(m_dir.path()).entryList({"ducked-volume.json.unreadable-*"});
        QCOMPARE(aside.size(), 1);
        for (const QString& name : aside)
            QFile::remove(m_dir.filePath(name));
    }

private:
    QString stateFile() const { return m_dir.filePath("ducked-volume.json"); }
    void writeState(const QByteArray& bytes)
    {
        QFile file(stateFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir m_dir;
};

MURMO_TEST(AudioDuckerTest)
#include "tst_AudioDucker.moc"
