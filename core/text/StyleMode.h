#pragma once

#include <QString>
#include <QStringList>

// A styling mode: what the language model is asked to do with a transcript, and the phrases that
// select the mode when spoken at the start of a dictation. The built-ins are "raw", "casual" and
// "formal"; ids are compared exactly.
struct StyleMode
{
    QString id;
    QString name;
    QString prompt; // empty: no model pass unless a translation is asked for
    QStringList voiceTriggers;

    bool operator==(const StyleMode&) const = default;
};
