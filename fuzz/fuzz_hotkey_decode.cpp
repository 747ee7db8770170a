// A stored hotkey setting is text anyone can edit in the settings file; hotkey() reads it.
#include "platform/Hotkey.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString stored = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<Hotkey> decoded = hotkey(stored);
    if (!decoded)
        return 0;
    // Whatever was accepted can be stored again and reads back as the same record.
    const QString again = encodeHotkey(decoded);
    if (again.isEmpty() || hotkey(again) != decoded)
        std::abort();
    // Every hotkey has a text, except a chord whose mask names no modifier the program knows.
    const bool unnamedChord =
        decoded->isModifierOnly && decoded->modifiers != 0 && (decoded->modifiers & 0x1E0000) == 0;
    if (decoded->display().isEmpty() != unnamedChord)
        std::abort();
    return 0;
}
