#pragma once

#include <QList>
#include <QMap>

#include <algorithm>

// The user's modifier keys that a synthesised chord lets go of while it is down, and which of
// them go down again after it: the chord's press lets go of every modifier the user holds, so that
// the window in front sees only the chord, and its release presses again those the user still
// holds. Once the chord has let go of a key, the window system no longer tells whether the user
// holds it; only the keyboard's own events do, and they come mixed with the synthesiser's own
// key-ups and presses, which look the same and reach the window system at moments of their own.
// A key's events from the user alternate, beginning with the release of the key held: how many
// releases and presses there were, the synthesiser's own taken off, says whether the user still
// holds it, wherever in the stream each of them fell. So a release that lands between the last
// look and the press again is not lost: the press again is let go at once. One of the
// synthesiser's own events not seen yet is never taken for one of the user's. Key codes are the
// caller's.
class ModifierHandback
{
public:
    // The chord went down, letting go of these keys of the user's: from here every event of the
    // keyboard counts.
    void begin(const QList<int>& letGo);
    bool isFollowing() const { return !m_keys.isEmpty(); }

    // A press or a release of key by anyone, the synthesiser included (not an auto-repeat).
    void seen(int key, bool press);
    // The synthesiser itself presses or lets go of key: one such event seen is not the user's.
    void own(int key, bool press);

    // Once the events up to now are seen (the chord's own key-ups among them): the keys the user
    // still holds, untouched since the chord let go of them, to be pressed again now (counted as
    // the synthesiser's own). A key the user pressed again meanwhile is down by the user's press.
    QList<int> pressAgain();
    // Once the events up to the presses again are seen: those the user let go of before or after
    // their press again, to be let go now. Ends the handback.
    QList<int> letGoAgain();

private:
    struct Followed
    {
        int releases = 0;
        int presses = 0;
        int ownReleases = 0;
        int ownPresses = 0;
        bool pressedAgain = false;

        int usersReleases() const { return std::max(0, releases - ownReleases); }
        int usersPresses() const { return std::max(0, presses - ownPresses); }
    };

    QMap<int, Followed> m_keys;
};
