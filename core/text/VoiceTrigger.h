#pragma once

#include "core/text/StyleMode.h"

#include <QList>
#include <QString>

// A style mode chosen by saying one of its trigger phrases at the start of a dictation
// ("书面模式，……"), and the words that follow the phrase.
struct VoiceTrigger
{
    StyleMode mode;
    QString text;

    // Checks the modes in order, each mode's triggers in order. A trigger counts when it starts
    // within the first three characters of the trimmed text (letter case ignored) and is followed
    // by the end, white space or punctuation; the text then becomes what follows it, stripped of
    // separators, and the later modes are checked against that, so the last counted trigger wins.
    // Without any counted trigger the result is defaultMode and the text unchanged.
    static VoiceTrigger select(const QString& text, const StyleMode& defaultMode, const QList<StyleMode>& modes);
};
