#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/shell/HistorySaving.h"
#include "core/store/HistoryStore.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestHistorySaving : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aHistoryThatCannotBeSavedIsToldAndSavedLater_data()
    {
        QTest::addColumn<bool>("atQuit");
        QTest::newRow("by the next try") << false;
        QTest::newRow("at quit") << true;
    }

    void aHistoryThatCannotBeSavedIsToldAndSavedLater()
    {
        QFETCH(bool, atQuit);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("Murmo.conf")), nullptr);
        AppState state(settings);
        HistoryStore history(dir.filePath(QStringLiteral("data")));
        ManualClock clock;
        HistorySaving saving(history, state, clock);
        QSignalSpy failing(&saving, &HistorySaving::failingChanged);

        const HistoryEntry entry = HistoryEntry::make(QStringLiteral("kept"), QStringLiteral("kept"),
                                                      QStringLiteral("default"), QStringLiteral("gateway"));
        {
            const FileSizeLimit full;
            // Told by the store's worker once its write has failed, without any flow's word.
            history.add(entry);
            QTRY_VERIFY_WITH_TIMEOUT(saving.isFailing(), 20000);
            QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), HistorySaving::kCannotSaveLine, 20000);
            // Still full at the next try: still said, and tried again later.
            state.setStatusLine(QStringLiteral("a dictation's own report"));
            clock.advance(HistorySaving::retryInterval);
            QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), HistorySaving::kCannotSaveLine, 20000);
            QVERIFY(saving.isFailing());
            QCOMPARE(clock.pendingCount(), std::size_t(1));
        }
        if (atQuit) {
            QVERIFY(saving.saveNow());
        } else {
            clock.advance(HistorySaving::retryInterval);
            QTRY_VERIFY_WITH_TIMEOUT(!saving.isFailing(), 20000);
        }
        QVERIFY(!saving.isFailing());
        QVERIFY(history.isSaved());
        HistoryStore reread(dir.filePath(QStringLiteral("data")));
        reread.flush();
        QCOMPARE(reread.all().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), HistorySaving::kSavedAgainLine, 20000);
        QCOMPARE(failing.count(), 2);
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }
};

MURMO_TEST(TestHistorySaving)
#include "tst_HistorySaving.moc"
