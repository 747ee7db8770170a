#include "app/desktop/HotkeyGrabs.h"

#include "platform/KeyEvent.h"

#include <algorithm>
#include <limits>

void HotkeyGrabs::add(const std::optional<Hotkey>& hotkey)
{
    if (!hotkey || hotkey->isModifierOnly)
        return; // a lone modifier or a chord cannot be withheld on its own
    // A stored code no keyboard produces must not wrap around onto a real key.
    if (hotkey->keyCode < 0 || hotkey->keyCode > std::numeric_limits<int>::max())
        return;
    addGrab(KeyGrab{int(hotkey->keyCode), hotkey->modifiers & KeyModifier::all});
}

void HotkeyGrabs::addGrab(const KeyGrab& grab)
{
    if (std::find(request.keys.begin(), request.keys.end(), grab) == request.keys.end())
        request.keys.push_back(grab);
}
