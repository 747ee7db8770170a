#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/shell/HistorySaving.h"
#include "app/shell/QuitGuard.h"
#include "core/store/HistoryStore.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

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

    // Quitting while the disk still refuses the history does not lose it without a word: the user
    // is asked, and may keep the program running until the entries are on disk.
    void aQuitThatWouldLoseEntriesIsPutToTheUser_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("entriesOnDisk");
        QTest::newRow("disk fine: quits at once") << false << QString() << 1;
        QTest::newRow("kept running until saved") << true << QuitGuard::kKeepRunning << 1;
        QTest::newRow("quit anyway") << true << QuitGuard::kQuitAnyway << 0;
    }
    void aQuitThatWouldLoseEntriesIsPutToTheUser()
    {
        QFETCH(bool, diskFull);
        QFETCH(QString, answer);
        QFETCH(int, entriesOnDisk);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("Murmo.conf")), nullptr);
        AppState state(settings);
        const QString data = dir.filePath(QStringLiteral("data"));
        HistoryStore history(data);
        ManualClock clock;
        HistorySaving saving(history, state, clock);
        int quits = 0;
        QuitGuard guard(
            saving, [&quits] { ++quits; }, [] { return nullptr; });
        QObject application;
        guard.watch(application);
        const auto askToQuit = [&application] {
            QEvent quit(QEvent::Quit);
            return QCoreApplication::sendEvent(&application, &quit);
        };

        std::optional<FileSizeLimit> full;
        if (diskFull)
            full.emplace();
        history.add(HistoryEntry::make(QStringLiteral("kept"), QStringLiteral("kept"), QStringLiteral("default"),
                                       QStringLiteral("gateway")));
        // Held back while the disk is tried, which happens off the GUI thread; the asker learns
        // what came of it.
        std::optional<QuitGuard::Outcome> outcome;
        guard.requestQuit([&outcome](QuitGuard::Outcome told) { outcome = told; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome, 20000);
        QCOMPARE(*outcome, diskFull ? QuitGuard::Outcome::Asking : QuitGuard::Outcome::Ending);
        if (!diskFull) {
            QCOMPARE(quits, 1);
            QVERIFY(!guard.dialog());
        } else {
            QVERIFY(guard.dialog() && guard.dialog()->isVisible());
            QCOMPARE(guard.dialog()->text(), QuitGuard::kText);
            QCOMPARE(quits, 0);
            // Asked again meanwhile: the one question stands.
            QVERIFY(askToQuit());
            QCOMPARE(quits, 0);
            QPushButton* chosen = nullptr;
            for (QAbstractButton* button : guard.dialog()->buttons()) {
                if (button->text() == answer)
                    chosen = qobject_cast<QPushButton*>(button);
            }
            QVERIFY(chosen);
            chosen->click();
            if (answer == QuitGuard::kKeepRunning) {
                QVERIFY(guard.quitsWhenSaved());
                QCOMPARE(quits, 0);
                // Room on the disk again: the next retry writes the history, and the quit goes on.
                full.reset();
                clock.advance(HistorySaving::retryInterval);
                QTRY_COMPARE_WITH_TIMEOUT(quits, 1, 20000);
            } else {
                QCOMPARE(quits, 1);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!guard.dialog(), 20000);
        }
        full.reset();
        // Only what the disk took is there for the next start.
        HistoryStore reread(data);
        reread.flush();
        QCOMPARE(reread.all().size(), entriesOnDisk);
        // Once the quit is under way, nothing holds it back.
        QVERIFY(!askToQuit());
        QCOMPARE(quits, 1);
    }
};

MURMO_TEST(TestHistorySaving)
#include "tst_HistorySaving.moc"
