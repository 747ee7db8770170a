#include "app/desktop/HotkeyUse.h"

bool isChordKey(HotkeyUse use)
{
    return use == HotkeyUse::ask || use == HotkeyUse::translate || use == HotkeyUse::rewrite;
}
