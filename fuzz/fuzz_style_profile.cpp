// "style-profile.json" may be damaged or edited by hand: it goes through StyleProfile::decode().
#include "core/net/NetworkErrors.h"
#include "core/store/StyleProfile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    StyleProfile::Snapshot snapshot;
    try {
        snapshot = StyleProfile::decode(bytes);
    } catch (const JsonError&) {
        return 0;
    }
    // What was read must be written back and read again unchanged.
    const StyleProfile::Snapshot again = StyleProfile::decode(StyleProfile::encode(snapshot));
    if (!(again == snapshot))
        std::abort();
    return 0;
}
