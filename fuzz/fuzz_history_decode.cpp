// "history.json" is read at every start; whatever it holds must load or be refused cleanly.
#include "core/store/HistoryEntry.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QList<HistoryEntry>> entries = HistoryEntry::decodeList(bytes);
    if (!entries)
        return 0;
    for (const HistoryEntry& entry : *entries) {
        if (entry.id.isNull() || !entry.timestamp.isValid())
            std::abort();
    }
    // What was accepted is written back readable, and writing it again changes nothing.
    const QByteArray written = HistoryEntry::encodeList(*entries);
    const std::optional<QList<HistoryEntry>> reread = HistoryEntry::decodeList(written);
    if (!reread || reread->size() != entries->size())
        std::abort();
    if (HistoryEntry::encodeList(*reread) != written)
        std::abort();
    for (qsizetype i = 0; i < entries->size(); ++i) {
        if ((*reread)[i].id != (*entries)[i].id || (*reread)[i].timestamp != (*entries)[i].timestamp)
            std::abort();
    }
    // Read with a cap, the same file gives its newest entries and counts the rest.
    const qsizetype keep = entries->size() / 2;
    const std::optional<HistoryEntry::Newest> newest = HistoryEntry::decodeNewest(bytes.toByteArray(), keep);
    if (!newest || newest->entries != entries->mid(entries->size() - keep) ||
        newest->olderCount != entries->size() - keep)
        std::abort();
    return 0;
}
