#pragma once

#include "platform/Hotkey.h"

#include <QList>
#include <QStringList>

#include <functional>

class Lexicon;
class Settings;
struct CorrectionPair;

// The one-time changes to a user's settings and lexicon that earlier versions of the program
// made at start. Each runs while its flag in the settings is false and sets the flag first, so a
// step that fails half-way is not repeated; on a fresh installation they all run in order.
namespace Migrations {

namespace Hotkeys {
inline constexpr Hotkey altSpace{49, 0x80000, false};
inline constexpr Hotkey altT{17, 0x80000, false};
inline constexpr Hotkey altSuperM{46, 0x180000, false};
inline constexpr Hotkey altA{0, 0x80000, false};
// The ask key a new installation gets. Alt+Space, seeded before, is the window menu of openbox,
// GNOME, Xfce, MATE and Cinnamon and KDE Plasma's launcher, so the desktop holds it; none of them,
// nor fcitx5 or ibus, binds Alt+A, which also sits beside Alt+T and Alt+R.
inline constexpr Hotkey askKey = altA;
inline constexpr Hotkey altR{15, 0x80000, false};
// The Fn key alone, which the Menu key plays on Linux.
inline constexpr Hotkey fnAlone{63, 0, true};
} // namespace Hotkeys

// The compiled-in seed of a new lexicon.
const QStringList& seedWords();
const QStringList& brandWords();
const QStringList& productWords();
CorrectionPair seedRule();

// The hotkey and setting migrations, in their fixed order; the file is written once, after the
// last of them.
void migrateSettings(Settings& settings);

// When the talk key is Fn alone and the desktop claims that key for itself, makes the desktop
// leave it alone, once. The check repeats at every start until it has acted.
struct FnKeySystem
{
    std::function<bool()> hijacksSystem;
    std::function<bool()> setToNoAction;
};
void releaseFnKeyFromSystem(Settings& settings, const FnKeySystem& system);

// Seeds an empty lexicon and merges the compiled-in words into any lexicon once. Returns true
// when the one-time purge removed stored rules, so the caller can tell the views.
bool seedLexicon(Settings& settings, Lexicon& lexicon);

// The same in two halves, so that the lexicon's writes can leave the main thread: the one-time
// steps still due, claimed (their flags set) on the main thread, then run on any thread.
struct LexiconSteps
{
    bool mergeBrands = false;
    bool mergeProductWords = false;
    bool mergeSeed = false;
    bool purgeBadRules = false;
};
LexiconSteps claimLexiconSteps(Settings& settings);
bool seedLexicon(Lexicon& lexicon, const LexiconSteps& steps);

} // namespace Migrations
