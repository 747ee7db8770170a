#pragma once

#include <memory>

class HistoryStore;
class Lexicon;
class StyleProfile;

// The user's own data that dictations read and teach: the history with its recordings, the
// correction lexicon and the style profile. The lexicon is shared with sync passes that may
// outlive a single call. Main thread only.
struct PersonalData
{
    HistoryStore& history;
    std::shared_ptr<Lexicon> lexicon;
    StyleProfile& styleProfile;
};
