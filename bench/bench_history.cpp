// What each take costs the thread that adds it to a full history (the main thread, for most
// changes): the whole file is rewritten atomically on the store's worker, so the caller's share
// must be a small part of serialising the same entries once with QJsonDocument; and the write
// itself, until the file holds the entry, stays close to that serialisation.
#include "bench/BenchRatio.h"
#include "core/store/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

constexpr int kEntries = int(HistoryStore::maxEntries);

HistoryEntry typicalEntry(int n)
{
    HistoryEntry entry = HistoryEntry::make(
        QStringLiteral("嗯那个我们明天下午三点在会议室开会讨论一下第 %1 季度的预算然后把结果发给大家").arg(n),
        QStringLiteral("我们明天下午三点在会议室开会，讨论第 %1 季度的预算，然后把结果发给大家。").arg(n),
        QStringLiteral("default"), QStringLiteral("gateway"), QStringLiteral("dictate"));
    entry.audioFileName = entry.idText() + QStringLiteral(".ogg");
    return entry;
}

// A folder in memory where the machine has one, so that the disk's flush time does not drown
// the work being compared.
QString scratchRoot()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

// The bare work: the entries as a compact JSON array, written with QJsonDocument directly.
QByteArray plainSerialise(const QList<HistoryEntry>& entries)
{
    QJsonArray array;
    for (const HistoryEntry& e : entries) {
        QJsonObject object{{QLatin1String("id"), e.id.toString(QUuid::WithoutBraces).toUpper()},
                           {QLatin1String("timestamp"), double(e.timestamp.toMSecsSinceEpoch()) / 1000.0},
                           {QLatin1String("asrText"), e.asrText},
                           {QLatin1String("finalText"), e.finalText},
                           {QLatin1String("modeId"), e.modeId},
                           {QLatin1String("providerId"), e.providerId}};
        if (e.action)
            object.insert(QLatin1String("action"), *e.action);
        if (e.audioFileName)
            object.insert(QLatin1String("audioFileName"), *e.audioFileName);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

void AddToLongHistory(benchmark::State& state)
{
    QTemporaryDir dir(scratchRoot() + QStringLiteral("/murmo-bench-XXXXXX"));
    QList<HistoryEntry> seed;
    for (int i = 0; i < kEntries; ++i)
        seed.append(typicalEntry(i));
    {
        QFile file(dir.filePath(QStringLiteral("history.json")));
        if (!file.open(QIODevice::WriteOnly) || file.write(HistoryEntry::encodeList(seed)) <= 0)
            state.SkipWithError("cannot write the seed history");
    }
    HistoryStore store(dir.path());
    store.flush();
    int n = kEntries;
    for (auto _ : state)
        store.add(typicalEntry(++n));
    store.flush();
    // What one add writes: the history as it stands, oldest first.
    const QList<HistoryEntry> newestFirst = store.all();
    const QList<HistoryEntry> stored(newestFirst.crbegin(), newestFirst.crend());
    state.counters["entries written"] = double(stored.size());
    const auto serialise = [&] { benchmark::DoNotOptimize(plainSerialise(stored)); };
    // The caller's share with the worker busy writing, as when changes follow each other.
    BenchRatio::compare(
        state, "history add, the caller's share / QJsonDocument once", [&] { store.add(typicalEntry(++n)); }, serialise,
        0.05);
    BenchRatio::compare(
        state, "history add until written / QJsonDocument once",
        [&] {
            store.add(typicalEntry(++n));
            store.flush();
        },
        serialise, 1.3);
    store.flush();
}

} // namespace

BENCHMARK(AddToLongHistory)->Unit(benchmark::kMillisecond);
