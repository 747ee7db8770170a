#pragma once

#include <QJsonObject>
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

    // The block appended to a style mode's system prompt: the preference lines under their heading,
    // then the context and profile sections. Empty when nothing applies; otherwise it begins with
    // two line feeds, so it can be appended without a separator.
    QString promptFragment() const;

    // The preferences that hold without a model: with noTrailingPeriod, any run of full stops
    // ("." and "。") at the end of text is removed.
    QString applyDeterministic(const QString& text) const;

    // JSON form: every field under its own name; "appContext" left out when there is none.
    QJsonObject toJson() const;
    // The first six members are required with their types ("appContext" may be absent or null);
    // JsonError otherwise.
    static StylePreferences fromJson(const QJsonObject& object);
};
