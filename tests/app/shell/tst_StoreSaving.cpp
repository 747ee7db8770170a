#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StoreSaving.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <optional>

using namespace std::chrono_literals;

namespace {

// One store over a data folder, the way the program watches it.
struct Watched
{
    Watched(const QString& kind, const QString& data, AppState& state, ManualClock& clock)
    {
        if (kind == QLatin1String("history")) {
            history = std::make_unique<HistoryStore>(data);
            history->flush();
            saving = std::make_unique<StoreSaving>(*history, state, clock);
            store = history.get();
        } else {
            QDir().mkpath(data);
            lexicon = std::make_unique<Lexicon>(data);
            lexicon->waitUntilLoaded();
            saving = std::make_unique<StoreSaving>(*lexicon, state, clock);
            store = lexicon.get();
        }
    }
    // A change, each time another.
    void change()
    {
        const QString text = QStringLiteral("kept%1x").arg(++changes);
        if (history)
            history->add(HistoryEntry::make(text, text, QStringLiteral("default"), QStringLiteral("gateway")));
        else
            lexicon->addRule(text, text.toUpper(), QStringLiteral("user_added"));
    }
    // How many of the changes the next start finds.
    qsizetype onDisk(const QString& data) const
    {
        if (history) {
            HistoryStore reread(data);
            reread.flush();
            return reread.all().size();
        }
        return Lexicon(data).allRules().size();
    }

    std::unique_ptr<HistoryStore> history;
    std::unique_ptr<Lexicon> lexicon;
    QObject* store = nullptr;
    std::unique_ptr<StoreSaving> saving;
    int changes = 0;
};

} // namespace

class TestStoreSaving : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aStoreThatCannotBeSavedIsToldAndSavedLater_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("atQuit");
        for (const char* kind : {"history", "lexicon"}) {
            QTest::addRow("%s, by a later try", kind) << QString::fromLatin1(kind) << false;
            QTest::addRow("%s, at quit", kind) << QString::fromLatin1(kind) << true;
        }
    }

    void aStoreThatCannotBeSavedIsToldAndSavedLater()
    {
        QFETCH(QString, kind);
        QFETCH(bool, atQuit);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("Murmo.conf")), nullptr);
        AppState state(settings);
        ManualClock clock;
        const QString data = dir.filePath(QStringLiteral("data"));
        Watched watched(kind, data, state, clock);
        StoreSaving& saving = *watched.saving;
        const StoreSaving::Texts& texts = saving.texts();
        QSignalSpy failing(&saving, &StoreSaving::failingChanged);
        QSignalSpy writes(watched.store, SIGNAL(saveFinished()));
        // Nothing failing: nothing waits on the clock.
        watched.change();
        QTRY_VERIFY_WITH_TIMEOUT(!writes.isEmpty(), 20000);
        QCOMPARE(clock.pendingCount(), std::size_t(0));
        {
            const FileSizeLimit full;
            // Told at once by the store's worker once its write has failed, without any flow's
            // word, even over another notice.
            state.showNotice(QStringLiteral("an earlier notice"));
            watched.change();
            QTRY_VERIFY_WITH_TIMEOUT(saving.isFailing(), 20000);
            QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), texts.cannotSave, 20000);
            QCOMPARE(clock.nextDue(), clock.now() + StoreSaving::firstRetry);
            // Once: a later change refused as well is not told again over a dictation's report.
            state.setStatusLine(QStringLiteral("a dictation's own report"));
            writes.clear();
            watched.change();
            QTRY_VERIFY_WITH_TIMEOUT(!writes.isEmpty(), 20000);
            QCoreApplication::processEvents();
            QCOMPARE(state.statusLine(), QStringLiteral("a dictation's own report"));
            // Still full at the retry: said again, and tried again after a longer wait.
            clock.advance(StoreSaving::firstRetry);
            QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), texts.cannotSave, 20000);
            QVERIFY(saving.isFailing());
            QCOMPARE(clock.pendingCount(), std::size_t(1));
            QCOMPARE(clock.nextDue(), clock.now() + 2 * StoreSaving::firstRetry);
        }
        if (atQuit) {
            QVERIFY(saving.saveNow());
        } else {
            clock.advance(2 * StoreSaving::firstRetry);
            QTRY_VERIFY_WITH_TIMEOUT(!saving.isFailing(), 20000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(state.statusLine(), texts.savedAgain, 20000);
        QCOMPARE(watched.onDisk(data), 3);
        QCOMPARE(failing.count(), 2);
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }

    // Quitting while the disk still refuses the history or the lexicon does not lose them without
    // a word: the user is asked, and may keep the program running until they are on disk.
    void aQuitThatWouldLoseChangesIsPutToTheUser_data()
    {
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("changesOnDisk");
        const QStringList both{"history", "lexicon"};
        QTest::newRow("disk fine: quits at once") << both << false << QString() << 1;
        QTest::newRow("history: kept running until saved")
            << QStringList{"history"} << true << QuitGuard::kKeepRunning << 1;
        QTest::newRow("history: quit anyway") << QStringList{"history"} << true << QuitGuard::kQuitAnyway << 0;
        QTest::newRow("lexicon: quit anyway") << QStringList{"lexicon"} << true << QuitGuard::kQuitAnyway << 0;
        QTest::newRow("both: kept running until saved") << both << true << QuitGuard::kKeepRunning << 1;
    }
    void aQuitThatWouldLoseChangesIsPutToTheUser()
    {
        QFETCH(QStringList, changed);
        QFETCH(bool, diskFull);
        QFETCH(QString, answer);
        QFETCH(int, changesOnDisk);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("Murmo.conf")), nullptr);
        AppState state(settings);
        ManualClock clock;
        std::map<QString, std::unique_ptr<Watched>> stores;
        std::vector<StoreSaving*> savings;
        for (const QString& kind : {QStringLiteral("history"), QStringLiteral("lexicon")}) {
            stores[kind] = std::make_unique<Watched>(kind, dir.filePath(kind), state, clock);
            savings.push_back(stores[kind]->saving.get());
        }
        int quits = 0;
        QuitGuard guard(
            savings, [&quits] { ++quits; }, [] { return nullptr; });
        QObject application;
        guard.watch(application);
        const auto askToQuit = [&application] {
            QEvent quit(QEvent::Quit);
            return QCoreApplication::sendEvent(&application, &quit);
        };

        std::optional<FileSizeLimit> full;
        if (diskFull)
            full.emplace();
        QStringList names;
        QStringList unsaved;
        for (const QString& kind : changed) {
            stores[kind]->change();
            names.append(stores[kind]->saving->texts().name);
            unsaved.append(stores[kind]->saving->texts().unsaved);
        }
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
            QCOMPARE(guard.dialog()->windowTitle(), QuitGuard::titleFor(names));
            QCOMPARE(guard.dialog()->text(), QuitGuard::textFor(unsaved));
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
                // Room on the disk again: the next retries write the stores, and the quit goes on.
                full.reset();
                clock.advance(StoreSaving::firstRetry);
                QTRY_COMPARE_WITH_TIMEOUT(quits, 1, 20000);
            } else {
                QCOMPARE(quits, 1);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!guard.dialog(), 20000);
        }
        full.reset();
        // Only what the disk took is there for the next start.
        for (const QString& kind : changed)
            QCOMPARE(stores[kind]->onDisk(dir.filePath(kind)), changesOnDisk);
        // Once the quit is under way, nothing holds it back.
        QVERIFY(!askToQuit());
        QCOMPARE(quits, 1);
    }
};

MURMO_TEST(TestStoreSaving)
#include "tst_StoreSaving.moc"
