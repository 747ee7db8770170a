#include "app/feedback/OverlayModel.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using Phase = OverlayModel::Phase;
using FailKind = OverlayModel::FailKind;
using Write = std::function<void(OverlayModel&)>;
Q_DECLARE_METATYPE(Write)

class TestOverlayModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshModel()
    {
        OverlayModel model;
        QCOMPARE(model.phase(), Phase::listening);
        QCOMPARE(model.partial(), QString());
        QCOMPARE(model.inserted(), true);
        QCOMPARE(model.noteSubtitle(), QString());
        QCOMPARE(model.copyHint(), std::nullopt);
        QCOMPARE(model.failKind(), FailKind::asr);
        QCOMPARE(model.retrying(), false);
        QCOMPARE(model.retryOffered(), false);
        QCOMPARE(model.levelSample, 0.0f);
    }

    void phaseRawValues()
    {
        QCOMPARE(int(Phase::listening), 0);
        QCOMPARE(int(Phase::listeningRewrite), 3);
        QCOMPARE(int(Phase::processing), 4);
        QCOMPARE(int(Phase::note), 8);
        QCOMPARE(int(FailKind::styling), 1);
        for (Phase p : {Phase::listening, Phase::listeningTranslate, Phase::listeningAsk, Phase::listeningRewrite})
            QVERIFY(OverlayModel::isListening(p));
        for (Phase p : {Phase::processing, Phase::done, Phase::failed, Phase::cancelled, Phase::note})
            QVERIFY(!OverlayModel::isListening(p));
    }

    void everyPublishedWriteIsAnnounced_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QByteArray>("fieldSignal");
        QTest::newRow("phase") << Write([](OverlayModel& m) { m.setPhase(Phase::failed); })
                               << QByteArray(SIGNAL(phaseChanged(OverlayModel::Phase)));
        QTest::newRow("partial") << Write([](OverlayModel& m) { m.setPartial("你好"); })
                                 << QByteArray(SIGNAL(partialChanged(QString)));
        QTest::newRow("inserted") << Write([](OverlayModel& m) { m.setInserted(false); })
                                  << QByteArray(SIGNAL(insertedChanged(bool)));
        QTest::newRow("noteSubtitle") << Write([](OverlayModel& m) { m.setNoteSubtitle("已学会"); })
                                      << QByteArray(SIGNAL(noteSubtitleChanged(QString)));
        QTest::newRow("copyHint") << Write([](OverlayModel& m) { m.setCopyHint(QStringLiteral("提示")); })
                                  << QByteArray(SIGNAL(copyHintChanged()));
        QTest::newRow("copyHint empty text")
            << Write([](OverlayModel& m) { m.setCopyHint(QString()); }) << QByteArray(SIGNAL(copyHintChanged()));
        QTest::newRow("failKind") << Write([](OverlayModel& m) { m.setFailKind(FailKind::styling); })
                                  << QByteArray(SIGNAL(failKindChanged(OverlayModel::FailKind)));
        QTest::newRow("retrying") << Write([](OverlayModel& m) { m.setRetrying(true); })
                                  << QByteArray(SIGNAL(retryingChanged(bool)));
        QTest::newRow("retryOffered") << Write([](OverlayModel& m) { m.setRetryOffered(true); })
                                      << QByteArray(SIGNAL(retryOfferedChanged(bool)));
    }
    void everyPublishedWriteIsAnnounced()
    {
        QFETCH(Write, write);
        QFETCH(QByteArray, fieldSignal);
        OverlayModel model;
        QSignalSpy changed(&model, &OverlayModel::changed);
        QSignalSpy field(&model, fieldSignal.constData());
        QVERIFY(field.isValid());
        write(model);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(field.count(), 1);
        // Writing what is already held changes nothing on screen, so nothing is announced.
        write(model);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(field.count(), 1);
    }

    void levelSampleIsSilent()
    {
        OverlayModel model;
        QSignalSpy changed(&model, &OverlayModel::changed);
        for (int i = 0; i < 100; ++i)
            model.levelSample = float(i) / 100.0f;
        QCOMPARE(changed.count(), 0);
        QCOMPARE(model.levelSample, 0.99f);
    }

    void notifyChangedRedrawsWithoutAWrite()
    {
        OverlayModel model;
        QSignalSpy changed(&model, &OverlayModel::changed);
        QSignalSpy phase(&model, &OverlayModel::phaseChanged);
        model.notifyChanged();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(phase.count(), 0);
    }
};

MURMO_TEST(TestOverlayModel)
#include "tst_OverlayModel.moc"
