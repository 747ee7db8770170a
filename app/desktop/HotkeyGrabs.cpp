#include "app/desktop/HotkeyGrabs.h"

#include "platform/KeyEvent.h"

#include <algorithm>
#include <limits>

void HotkeyGrabs::add(const std::optional<Hotkey>& hotkey)
{
    if (!hotkey)
        return;
    if (hotkey->isModifierOnly) {
        // Menu is one of our modifier keys only because it plays Fn; to X it is an ordinary key,
        // and a lone one acts whatever else is held. Real modifiers and chords of them cannot be
        // withheld on their own.
        if (hotkey->modifiers == 0 && hotkey->keyCode == KeyCode::menu)
            addWithAnyModifiers(KeyCode::menu);
        return;
    }
    // A stored code no keyboard produces must not wrap around onto a real key.
    if (hotkey->keyCode < 0 || hotkey->keyCode > std::numeric_limits<int>::max())
        return;
    addGrab(KeyGrab{int(hotkey->keyCode), hotkey->modifiers & KeyModifier::all});
}

void HotkeyGrabs::addWithAnyModifiers(int keyCode)
{
    addGrab(KeyGrab{keyCode, 0, true});
}

void HotkeyGrabs::addGrab(const KeyGrab& grab)
{
    if (std::find(request.keys.begin(), request.keys.end(), grab) == request.keys.end())
        request.keys.push_back(grab);
}
