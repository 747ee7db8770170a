#pragma once

#include <QString>

#include <optional>

// The writing preferences and extra prompt sections of one dictation.
struct StylePreferences
{
    bool noTrailingPeriod = false;
    bool preferLineBreaks = false;
    bool spacesForCommas = false;
    QString customNotes;               // free-form rules, one per line
    QString contextSection;            // a ready-made block of screen context (may be empty)
    QString profileSection;            // the style profile's prompt block (may be empty)
    std::optional<QString> appContext; // the target application's label, sent apart from the prompt

    bool operator==(const StylePreferences&) const = default;
};
