#include "platform/ModifierHandback.h"

void ModifierHandback::begin(const QList<int>& letGo)
{
    m_keys.clear();
    for (const int key : letGo)
        m_keys.insert(key, Followed{});
}

void ModifierHandback::seen(int key, bool press)
{
    const auto it = m_keys.find(key);
    if (it != m_keys.end())
        ++(press ? it->presses : it->releases);
}

void ModifierHandback::own(int key, bool press)
{
    const auto it = m_keys.find(key);
    if (it != m_keys.end())
        ++(press ? it->ownPresses : it->ownReleases);
}

QList<int> ModifierHandback::pressAgain()
{
    QList<int> keys;
    for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
        if (it->usersReleases() != 0 || it->usersPresses() != 0)
            continue;
        it->pressedAgain = true;
        ++it->ownPresses;
        keys.append(it.key());
    }
    return keys;
}

QList<int> ModifierHandback::letGoAgain()
{
    QList<int> keys;
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
        // More releases than presses: the user's last word on the key was a release.
        if (it->pressedAgain && it->usersReleases() > it->usersPresses())
            keys.append(it.key());
    }
    m_keys.clear();
    return keys;
}
