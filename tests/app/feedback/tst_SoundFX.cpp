#include "app/feedback/SoundFX.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

QByteArray cue(const char* set, bool start)
{
    const SoundSpec& spec = SoundSpec::builtIn().at(QString::fromLatin1(set));
    return CueSynth::render(spec, start ? spec.f0Start : spec.f0Stop);
}

} // namespace

class SoundFXTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithTheDefaults()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        QCOMPARE(fx.currentSet(), QStringLiteral("cork"));
        QCOMPARE(fx.volume(), 0.5f);
        QVERIFY(fx.enabled());
        QVERIFY(fx.cachedKeys().isEmpty());
    }

    void playsTheCurrentSetsCue_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("wav");
        QTest::newRow("marimba start") << "marimba"
                                       << "start"
                                       << "marimba.start" << cue("marimba", true);
        QTest::newRow("tick stop") << "tick"
                                   << "stop"
                                   << "tick.stop" << cue("tick", false);
        QTest::newRow("unknown set falls back") << "gong"
                                                << "start"
                                                << "cork.start" << cue("cork", true);
        QTest::newRow("other kind plays low") << "droplet"
                                              << "ping"
                                              << "droplet.ping" << cue("droplet", false);
    }

    void playsTheCurrentSetsCue()
    {
        QFETCH(QString, set);
        QFETCH(QString, kind);
        QFETCH(QString, key);
        QFETCH(QByteArray, wav);
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        fx.setCurrentSet(set);
        fx.play(kind);
        QCOMPARE(fx.cachedKeys(), QStringList{key});
        QCOMPARE(output.made().size(), size_t(1));
        QCOMPARE(output.made()[0]->wav, wav);
        QCOMPARE(output.made()[0]->events, QList<QString>{"play 0.5"});
    }

    void reusesACachedSoundAtTheNewestVolume()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        fx.play("start");
        fx.setVolume(0.25f);
        fx.play("start");
        QCOMPARE(output.made().size(), size_t(1));
        QCOMPARE(output.made()[0]->events, (QList<QString>{"play 0.5", "play 0.25"}));
    }

    void changingTheSetEmptiesTheCache()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        fx.play("start");
        fx.setCurrentSet("cork");
        QCOMPARE(fx.cachedKeys(), QStringList{"cork.start"});
        QVERIFY(!output.made()[0]->destroyed);

        fx.setCurrentSet("tick");
        fx.setCurrentSet("cork");
        QVERIFY(fx.cachedKeys().isEmpty());
        QVERIFY(output.made()[0]->destroyed);
        fx.play("start");
        QCOMPARE(output.made().size(), size_t(2));
    }

    void aRefusedSoundIsNotCachedAndIsTriedAgain()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        output.refuse = true;
        fx.play("stop");
        QVERIFY(fx.cachedKeys().isEmpty());
        output.refuse = false;
        fx.play("stop");
        QCOMPARE(output.made().size(), size_t(2));
        QCOMPARE(fx.cachedKeys(), QStringList{"cork.stop"});
        QCOMPARE(output.made()[1]->events, QList<QString>{"play 0.5"});
    }

    void previewPlaysStartThenStopAfterTheGap()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        fx.setEnabled(false);
        // With cues off a recording's cue stays silent; the settings' preview still plays.
        fx.play("start");
        QVERIFY(output.made().empty());
        fx.preview("droplet");
        QCOMPARE(output.made().size(), size_t(1));
        QCOMPARE(output.made()[0]->wav, cue("droplet", true));
        clock.advance(349ms);
        QCOMPARE(output.made().size(), size_t(1));
        clock.advance(1ms);
        QCOMPARE(output.made().size(), size_t(2));
        QCOMPARE(output.made()[1]->wav, cue("droplet", false));
        QCOMPARE(output.made()[1]->events, QList<QString>{"play 0.5"});
        // Cached under the previewed set's keys although the current set is another.
        QCOMPARE(fx.cachedKeys(), (QStringList{"droplet.start", "droplet.stop"}));
        QCOMPARE(fx.currentSet(), QStringLiteral("cork"));
    }

    void previewOfAnUnknownSetPlaysNothing()
    {
        FakeSoundOutput output;
        ManualClock clock;
        SoundFX fx(output, clock);
        fx.preview("gong");
        clock.advance(1s);
        QVERIFY(output.made().empty());
        QCOMPARE(clock.pendingCount(), size_t(0));
    }

    void previewStopSoundAfterDestructionDoesNothing()
    {
        FakeSoundOutput output;
        ManualClock clock;
        {
            SoundFX fx(output, clock);
            fx.preview("tick");
        }
        clock.advance(1s);
        QCOMPARE(output.made().size(), size_t(1));
    }
};

MURMO_TEST(SoundFXTest)
#include "tst_SoundFX.moc"
