#include "core/audio/AudioStorage.h"
#include "core/store/HistoryStore.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

#include <pthread.h>
#include <time.h>

namespace {

HistoryEntry entryNamed(const QString& text)
{
    return HistoryEntry::make(text, text + QStringLiteral("…"), QStringLiteral("default"), QStringLiteral("gateway"));
}

QStringList texts(const QList<HistoryEntry>& entries)
{
    QStringList out;
    for (const HistoryEntry& entry : entries)
        out.append(entry.asrText);
    return out;
}

// What the file holds once the store has written everything.
QList<HistoryEntry> onDisk(HistoryStore& store)
{
    store.flush();
    return HistoryEntry::decodeList(readFile(store.fileURL())).value_or(QList<HistoryEntry>{});
}

std::vector<float> tone(size_t count)
{
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = float(0.3 * std::sin(double(i) * 0.07));
    return out;
}

QStringList recordings(const HistoryStore& store)
{
    return QDir(store.recordingsDir()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The permission bits of path.
QFileDevice::Permissions historyModeOf(const QString& path)
{
    return QFileInfo(path).permissions() & (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartIsEmptyAndMakesTheRecordingsFolder()
    {
        QTemporaryDir dir;
        const HistoryStore store(dir.filePath(QStringLiteral("deep/Murmo")));
        QVERIFY(store.all().isEmpty());
        QVERIFY(QFileInfo(store.recordingsDir()).isDir());
        QCOMPARE(store.recordingsDir(), dir.filePath(QStringLiteral("deep/Murmo/recordings")));
        QVERIFY(!QFile::exists(store.fileURL()));
    }

    void listsNewestFirstAndStoresOldestFirst()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        for (const char* text : {"A", "B", "C"})
            store.add(entryNamed(QString::fromLatin1(text)));
        QCOMPARE(texts(store.all()), QStringList({"C", "B", "A"}));
        QCOMPARE(texts(onDisk(store)), QStringList({"A", "B", "C"}));
        // A second store over the same folder sees what the first wrote.
        HistoryStore second(dir.path());
        second.flush();
        QCOMPARE(second.all(), store.all());
    }

    void addKeepsTheRecordingWithTheEntry()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        const HistoryEntry entry = entryNamed(QStringLiteral("with audio"));
        store.add(entry, tone(16000));
        const HistoryEntry stored = store.all().front();
        const QString name = entry.idText() + QStringLiteral(".ogg");
        QCOMPARE(stored.audioFileName, std::optional<QString>(name));
        QCOMPARE(recordings(store), QStringList{name});
        QCOMPARE(store.audioURL(stored), std::optional<QString>(QDir(store.recordingsDir()).filePath(name)));
        QCOMPARE(AudioStorage::readSamples(*store.audioURL(stored)).size(), size_t(16000));
        QCOMPARE(onDisk(store).front().audioFileName, stored.audioFileName);
        // The caller's copy is not changed.
        QVERIFY(!entry.audioFileName);
    }

    void addWithoutSamplesLeavesTheFolderAlone()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        store.add(entryNamed(QStringLiteral("silent")), {});
        HistoryEntry carried = entryNamed(QStringLiteral("carried"));
        carried.audioFileName = QStringLiteral("elsewhere.ogg");
        store.add(carried);
        QCOMPARE(recordings(store), QStringList());
        QVERIFY(!store.all()[1].audioFileName);
        QCOMPARE(store.all()[0].audioFileName, carried.audioFileName);
        QCOMPARE(store.audioURL(store.all()[0]), std::nullopt);
    }

    void aFailedRecordingKeepsTheEntry()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        QVERIFY(QDir(store.recordingsDir()).removeRecursively());
        store.add(entryNamed(QStringLiteral("no folder")), tone(3200));
        QCOMPARE(store.all().size(), 1);
        QVERIFY(!store.all().front().audioFileName);
    }

    void theOldestFallOutButKeepTheirRecordings_data()
    {
        QTest::addColumn<int>("before");
        QTest::newRow("full") << 2000;
        QTest::newRow("over full from an older file") << 2500;
    }

    void theOldestFallOutButKeepTheirRecordings()
    {
        QFETCH(int, before);
        QTemporaryDir dir;
        QList<HistoryEntry> seed;
        for (int i = 0; i < before; ++i)
            seed.append(entryNamed(QString::number(i)));
        seed[0].audioFileName = seed[0].idText() + QStringLiteral(".ogg");
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("recordings"))));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("recordings/")) + *seed[0].audioFileName, "audio"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("history.json")), HistoryEntry::encodeList(seed)));

        HistoryStore store(dir.path());
        store.flush();
        QCOMPARE(store.all().size(), std::min<qsizetype>(before, HistoryStore::maxEntries));
        store.add(entryNamed(QStringLiteral("newest")));
        const QList<HistoryEntry> all = store.all();
        QCOMPARE(all.size(), HistoryStore::maxEntries);
        QCOMPARE(all.front().asrText, QStringLiteral("newest"));
        QCOMPARE(all.back().asrText, QString::number(before - 1999));
        QCOMPARE(onDisk(store).size(), HistoryStore::maxEntries);
        QCOMPARE(onDisk(store).front().asrText, QString::number(before - 1999));
        QCOMPARE(recordings(store), QStringList{*seed[0].audioFileName});
    }

    // Beyond the cap (an older version's file, one edited by hand or synced in), the newest are
    // loaded and the file as it was is kept beside the history, on a full disk too.
    void aFileOverTheCapIsKeptAsideAndTrimmed_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("room to spare") << false;
        QTest::newRow("a full disk") << true;
    }

    void aFileOverTheCapIsKeptAsideAndTrimmed()
    {
        QFETCH(bool, diskFull);
        QTemporaryDir dir;
        QList<HistoryEntry> seed;
        for (int i = 0; i < 2500; ++i)
            seed.append(entryNamed(QString::number(i)));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("history.json")), HistoryEntry::encodeList(seed)));

        std::optional<FileSizeLimit> full;
        if (diskFull)
            full.emplace();
        HistoryStore store(dir.path());
        QCOMPARE(store.flush(), !diskFull);
        full.reset();
        store.saveAgain();
        const QList<HistoryEntry> newest = seed.mid(500);
        QCOMPARE(onDisk(store), newest);
        QCOMPARE(store.all(), QList<HistoryEntry>(newest.crbegin(), newest.crend()));
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("history.json.untrimmed-*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(HistoryEntry::decodeList(readFile(dir.filePath(aside[0]))), seed);
        QCOMPARE(historyModeOf(dir.filePath(aside[0])), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // Every change is written on the store's worker, never the caller's thread, and the file ends
    // in the latest state however quickly the changes come.
    void quickChangesEndInTheLatestStateOnDisk()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        std::atomic<int> writesOnCaller = 0;
        std::atomic<int> writes = 0;
        QThread* caller = QThread::currentThread();
        connect(
            &store, &HistoryStore::saveFinished, this,
            [&, caller] {
                ++writes;
                writesOnCaller += QThread::currentThread() == caller ? 1 : 0;
            },
            Qt::DirectConnection);
        const HistoryEntry edited = entryNamed(QStringLiteral("edited"));
        store.add(edited);
        for (int i = 0; i < 300; ++i) {
            const HistoryEntry entry = entryNamed(QString::number(i));
            store.add(entry);
            store.updateFinalText(edited.id, QString::number(i));
            if (i % 3 == 0)
                store.remove(entry.id);
        }
        QVERIFY(store.flush());
        const QList<HistoryEntry> all = store.all();
        QCOMPARE(onDisk(store), QList<HistoryEntry>(all.crbegin(), all.crend()));
        QCOMPARE(onDisk(store).front().finalText, QStringLiteral("299"));
        QCOMPARE(all.size(), 201);
        QVERIFY(writes > 0);
        QCOMPARE(writesOnCaller.load(), 0);
    }

    // Quitting or crashing during recognition left an entry recognising: at the next start it is
    // failed, ready for a retry, with its recording; every other entry stays as it was.
    void recognisingLeftByTheLastRunIsFailedAtStart()
    {
        QTemporaryDir dir;
        HistoryEntry recognising = HistoryEntry::make(QString(), HistoryEntry::kRecognisingText,
                                                      QStringLiteral("default"), QStringLiteral("gateway"));
        HistoryEntry failed = HistoryEntry::make(QString(), HistoryEntry::kFailedText, QStringLiteral("default"),
                                                 QStringLiteral("gateway"));
        const HistoryEntry done = entryNamed(QStringLiteral("done"));
        {
            HistoryStore store(dir.path());
            store.add(done);
            store.add(recognising, tone(1600));
            store.add(failed);
        }
        HistoryStore store(dir.path());
        store.flush();
        const QStringList expected{HistoryEntry::kFailedText, HistoryEntry::kFailedText, done.finalText};
        QStringList loaded;
        for (const HistoryEntry& entry : store.all())
            loaded << entry.finalText;
        QCOMPARE(loaded, expected);
        QStringList saved;
        for (const HistoryEntry& entry : onDisk(store))
            saved.prepend(entry.finalText);
        QCOMPARE(saved, expected);
        QVERIFY(store.audioURL(*store.entry(recognising.id)));
    }

    void corrections()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        const HistoryEntry a = entryNamed(QStringLiteral("a"));
        const HistoryEntry b = entryNamed(QStringLiteral("b"));
        store.add(a);
        store.add(b);

        QCOMPARE(store.updateFinalText(a.id, QStringLiteral("改过的")), std::optional<QString>(QStringLiteral("a…")));
        QCOMPARE(store.updateFinalText(a.id, QStringLiteral("再改")), std::optional<QString>(QStringLiteral("改过的")));
        store.updateTexts(b.id, QStringLiteral("raw"), QStringLiteral("done"));
        QCOMPARE(texts(store.all()), QStringList({"raw", "a"}));
        QCOMPARE(store.entry(b.id)->finalText, QStringLiteral("done"));
        QCOMPARE(store.entry(a.id)->finalText, QStringLiteral("再改"));
        QCOMPARE(store.entry(a.id)->timestamp, a.timestamp);
        QCOMPARE(onDisk(store), QList<HistoryEntry>({*store.entry(a.id), *store.entry(b.id)}));
    }

    // A task that finishes late replaces the placeholder it put there, never the user's own text.
    void replaceTextsOnlyOverWhatItExpects()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        HistoryEntry entry = entryNamed(QStringLiteral("a"));
        entry.finalText = HistoryEntry::kRecognisingText;
        store.add(entry);

        QVERIFY(store.updateFinalText(entry.id, QStringLiteral("用户改的")));
        QVERIFY(!store.replaceTexts(entry.id, HistoryEntry::kRecognisingText, QStringLiteral("raw"),
                                    QStringLiteral("done")));
        QCOMPARE(store.entry(entry.id)->finalText, QStringLiteral("用户改的"));
        QCOMPARE(store.entry(entry.id)->asrText, QStringLiteral("a"));

        QVERIFY(
            store.replaceTexts(entry.id, QStringLiteral("用户改的"), QStringLiteral("raw"), QStringLiteral("done")));
        QCOMPARE(onDisk(store), QList<HistoryEntry>{*store.entry(entry.id)});
        QCOMPARE(store.entry(entry.id)->finalText, QStringLiteral("done"));
        QVERIFY(!store.replaceTexts(QUuid::createUuid(), QStringLiteral("done"), QString(), QString()));
    }

    void unknownIdsChangeNothing()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        store.add(entryNamed(QStringLiteral("a")));
        store.flush();
        // A marker in place of the file shows whether anything was written.
        QVERIFY(writeFile(store.fileURL(), "[]"));
        const QUuid stranger = QUuid::createUuid();
        QCOMPARE(store.updateFinalText(stranger, QStringLiteral("x")), std::nullopt);
        store.updateTexts(stranger, QStringLiteral("x"), QStringLiteral("y"));
        store.remove(stranger);
        QCOMPARE(store.entry(stranger), std::nullopt);
        QCOMPARE(readFile(store.fileURL()), QByteArray("[]"));
        QCOMPARE(texts(store.all()), QStringList{"a"});
    }

    void removeTakesTheRecordingAlong()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        const HistoryEntry voiced = entryNamed(QStringLiteral("voiced"));
        const HistoryEntry quiet = entryNamed(QStringLiteral("quiet"));
        const HistoryEntry kept = entryNamed(QStringLiteral("kept"));
        store.add(voiced, tone(3200));
        store.add(quiet);
        store.add(kept, tone(3200));
        QCOMPARE(recordings(store).size(), 2);

        store.remove(voiced.id);
        store.remove(quiet.id);
        QCOMPARE(texts(store.all()), QStringList{"kept"});
        QCOMPARE(texts(onDisk(store)), QStringList{"kept"});
        QCOMPARE(recordings(store), QStringList{kept.idText() + QStringLiteral(".ogg")});
    }

    void aRecordingDeletedByHandIsNoLongerOffered()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        store.add(entryNamed(QStringLiteral("a")), tone(3200));
        const HistoryEntry entry = store.all().front();
        QVERIFY(store.audioURL(entry));
        QVERIFY(QFile::remove(*store.audioURL(entry)));
        QCOMPARE(store.audioURL(entry), std::nullopt);
        store.remove(entry.id);
        QVERIFY(store.all().isEmpty());
    }

    void recordingNamesCannotReachOutsideTheFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << QStringLiteral("../victim.txt");
        QTest::newRow("absolute") << QStringLiteral("/tmp/victim.txt");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("empty") << QString();
    }

    void recordingNamesCannotReachOutsideTheFolder()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString victim = dir.filePath(QStringLiteral("victim.txt"));
        QVERIFY(writeFile(victim, "the user's own file"));
        HistoryEntry entry = entryNamed(QStringLiteral("hostile"));
        entry.audioFileName = name.replace(QStringLiteral("/tmp/"), dir.path() + QLatin1Char('/'));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("history.json")), HistoryEntry::encodeList({entry})));

        HistoryStore store(dir.path());
        store.flush();
        QCOMPARE(store.all().size(), 1);
        QCOMPARE(store.audioURL(entry), std::nullopt);
        store.remove(entry.id);
        QVERIFY(store.all().isEmpty());
        store.flush();
        QCOMPARE(readFile(victim), QByteArray("the user's own file"));
        QVERIFY(QFileInfo(store.recordingsDir()).isDir());
    }

    void anUnreadableFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not JSON") << QByteArray("{{{ not json");
        QTest::newRow("entry missing modeId")
            << QByteArray(R"([{"id":"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C","asrText":"a","finalText":"b",)"
                          R"("providerId":"p","timestamp":1}])");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("half written") << QByteArray("[{\"id\":\"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C\",\"asr");
    }

    void anUnreadableFileIsMovedAside()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("history.json"));
        QVERIFY(writeFile(file, bytes));

        HistoryStore store(dir.path());
        store.flush();
        QVERIFY(store.all().isEmpty());
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("history.json.unreadable-*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(aside.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^history\\.json\\.unreadable-\\d{8}-\\d{6}$"))
                     .match(aside[0])
                     .hasMatch(),
                 qPrintable(aside[0]));
        QCOMPARE(readFile(dir.filePath(aside[0])), bytes);
        QVERIFY(!QFile::exists(file));

        store.add(entryNamed(QStringLiteral("fresh")));
        QCOMPARE(texts(onDisk(store)), QStringList{"fresh"});
        QCOMPARE(readFile(dir.filePath(aside[0])), bytes);
    }

    void aFolderInPlaceOfTheFileIsMovedAside()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("history.json/inside"))));
        HistoryStore store(dir.path());
        store.flush();
        QVERIFY(store.all().isEmpty());
        store.add(entryNamed(QStringLiteral("fresh")));
        QCOMPARE(texts(onDisk(store)), QStringList{"fresh"});
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("history.json.unreadable-*")}, QDir::Dirs).size(), 1);
    }

    // A full disk keeps the change, and the recording that did not fit, in memory: a retry of the
    // take finds its audio there, and the next save with room writes both, the recording first.
    // Whatever waits for the take to be on disk is told only then.
    void aFailedSaveIsKnownAndWrittenAgain()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        store.add(entryNamed(QStringLiteral("A")));
        QVERIFY(store.flush());
        const HistoryEntry b = entryNamed(QStringLiteral("B"));
        std::atomic<int> onDiskCalls = 0;
        {
            const FileSizeLimit full;
            store.add(b, tone(16000), [&onDiskCalls] { ++onDiskCalls; });
            QVERIFY(!store.flush());
            QVERIFY(!store.isSaved());
            store.saveAgain();
            QVERIFY(!store.flush());
        }
        // What the file had is intact, and what it lacked is still held.
        QCOMPARE(texts(onDisk(store)), QStringList({"A"}));
        QCOMPARE(texts(store.all()), QStringList({"B", "A"}));
        // No cut-off recording stands in for the one that did not fit.
        QVERIFY(!store.all()[0].audioFileName);
        QCOMPARE(recordings(store), QStringList());
        QVERIFY(store.audioOf(b.id).read() == tone(16000));
        QCOMPARE(onDiskCalls.load(), 0);

        store.saveAgain();
        QVERIFY(store.flush());
        QVERIFY(store.isSaved());
        QCOMPARE(texts(onDisk(store)), QStringList({"A", "B"}));
        QCOMPARE(onDisk(store).back().audioFileName, std::optional<QString>(b.idText() + QStringLiteral(".ogg")));
        const HistoryStore::Audio audio = store.audioOf(b.id);
        QVERIFY(audio.file && !audio.held);
        QVERIFY(qAbs(qsizetype(audio.read().size()) - 16000) < 400);
        QCOMPARE(onDiskCalls.load(), 1);
    }

    // A take still being compressed on another thread when the program is asked to quit is not
    // reported saved: the flush waits for its entry, which a full disk then refuses.
    void aFlushWaitsForATakeBeingAdded()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        QVERIFY(store.flush());
        const FileSizeLimit full;
        // Minutes of audio take a good while to compress; the flush comes once the adding thread
        // has spent some of it, well inside add().
        const std::vector<float> take = tone(size_t(kRecordingSampleRate) * 60 * 3);
        const HistoryEntry late = entryNamed(QStringLiteral("late"));
        std::atomic<clockid_t> adderClock = -1;
        std::atomic_bool added = false;
        std::thread adder([&] {
            clockid_t clock = -1;
            pthread_getcpuclockid(pthread_self(), &clock);
            adderClock = clock;
            store.add(late, take);
            added = true;
        });
        const auto busyFor = [&adderClock] {
            timespec spent{};
            clock_gettime(adderClock, &spent);
            return spent.tv_sec * 1000 + spent.tv_nsec / 1000000;
        };
        while (adderClock == -1 || (!added && busyFor() < 20))
            QThread::yieldCurrentThread();
        const bool addedBefore = added;
        const bool saved = store.flush();
        const qsizetype entries = store.all().size();
        adder.join();
        QVERIFY(!addedBefore);
        QVERIFY(!saved);
        QCOMPARE(entries, 1);
    }

    // A take handed to a thread that has not begun it yet: a flush asked for meanwhile waits for
    // it, as a quit right after a take does.
    void aFlushWaitsForAPromisedTake()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        QVERIFY(store.flush());
        std::shared_ptr<void> promise = store.promiseAdd();
        std::atomic_bool flushing = false;
        std::thread adder([&] {
            while (!flushing)
                QThread::yieldCurrentThread();
            store.add(entryNamed(QStringLiteral("promised")), tone(size_t(kRecordingSampleRate) * 10));
            promise.reset();
        });
        flushing = true;
        const bool saved = store.flush();
        const qsizetype entries = store.all().size();
        adder.join();
        QVERIFY(saved);
        QCOMPARE(entries, 1);
    }

    void theFolderAndItsFilesAreTheUsersAlone_data()
    {
        QTest::addColumn<bool>("leftOpen");
        QTest::newRow("first start") << false;
        QTest::newRow("left open by an older version") << true;
    }

    void theFolderAndItsFilesAreTheUsersAlone()
    {
        QFETCH(bool, leftOpen);
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("share/Murmo"));
        const auto open =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        const auto openFolder = open | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        if (leftOpen) {
            QVERIFY(QDir().mkpath(data + QStringLiteral("/recordings")));
            QVERIFY(QFile::setPermissions(data, openFolder));
            QVERIFY(QFile::setPermissions(data + QStringLiteral("/recordings"), openFolder));
            QVERIFY(writeFile(data + QStringLiteral("/history.json"), "[]"));
            QVERIFY(QFile::setPermissions(data + QStringLiteral("/history.json"), open));
        }
        HistoryStore store(data);
        const HistoryEntry entry = entryNamed(QStringLiteral("private"));
        const std::vector<float> samples = tone(16000);
        store.add(entry, samples);
        store.flush();

        const auto folder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        const auto file = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QCOMPARE(historyModeOf(data), folder);
        QCOMPARE(historyModeOf(store.recordingsDir()), folder);
        QCOMPARE(historyModeOf(store.fileURL()), file);
        const std::optional<QString> audio = store.audioURL(*store.entry(entry.id));
        QVERIFY(audio);
        QCOMPARE(historyModeOf(*audio), file);
    }

    void twoThreadsAtOnce()
    {
        QTemporaryDir dir;
        HistoryStore store(dir.path());
        constexpr int perThread = 150;
        const auto work = [&store](const QString& prefix) {
            for (int i = 0; i < perThread; ++i) {
                const HistoryEntry entry = entryNamed(prefix + QString::number(i));
                store.add(entry, i % 25 == 0 ? tone(640) : std::vector<float>{});
                store.updateTexts(entry.id, entry.asrText, prefix + QStringLiteral("done"));
                if (i % 10 == 9)
                    store.remove(entry.id);
            }
        };
        std::unique_ptr<QThread> first(QThread::create(work, QStringLiteral("x")));
        std::unique_ptr<QThread> second(QThread::create(work, QStringLiteral("y")));
        first->start();
        second->start();
        // Readers run alongside and must always see whole entries.
        while (!first->isFinished() || !second->isFinished()) {
            for (const HistoryEntry& entry : store.all())
                QVERIFY(entry.finalText.endsWith(QStringLiteral("…")) ||
                        entry.finalText.endsWith(QStringLiteral("done")));
        }
        QVERIFY(first->wait());
        QVERIFY(second->wait());

        const QList<HistoryEntry> all = store.all();
        QCOMPARE(all.size(), 2 * (perThread - perThread / 10));
        QList<HistoryEntry> oldestFirst(all.crbegin(), all.crend());
        QCOMPARE(onDisk(store), oldestFirst);
        // Each thread's entries keep the order in which that thread added them.
        for (const QString& prefix : {QStringLiteral("x"), QStringLiteral("y")}) {
            int last = -1;
            for (const HistoryEntry& entry : oldestFirst) {
                if (!entry.asrText.startsWith(prefix))
                    continue;
                QCOMPARE(entry.finalText, prefix + QStringLiteral("done"));
                const int n = entry.asrText.mid(1).toInt();
                QVERIFY(n > last);
                last = n;
            }
        }
        QCOMPARE(recordings(store).size(), 12);
    }
};

MURMO_TEST(TestHistoryStore)
#include "tst_HistoryStore.moc"
