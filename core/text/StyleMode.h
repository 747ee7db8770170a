#pragma once

#include "core/text/StylePreferences.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

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

    // The built-in modes, created once and never changed; builtins() is raw, casual, formal.
    static const StyleMode& raw();
    static const StyleMode& casual();
    static const StyleMode& formal();
    static const QList<StyleMode>& builtins();
    // The built-in mode of id; null for any other id.
    static const StyleMode* byId(const QString& id);

    bool skipsLLM() const { return prompt.isEmpty(); }

    // The translator instruction for this mode's tone; chosen by id alone.
    const QString& translationPrompt() const;
    // prompt plus the appendices the id calls for ("casual" and "formal" only).
    QString effectivePrompt() const;
    // The whole system prompt of a styling or translation request, ending with the preferences'
    // fragment; nothing when no model pass is wanted (empty prompt, no translation).
    std::optional<QString> systemPrompt(const StylePreferences& preferences, bool translate) const;
    // The user message that carries the transcript between delimiter lines, with the instruction
    // to output only the processed text.
    static QString wrapInput(const QString& text, bool translate);

    // JSON form: "id", "name", "prompt" (strings) and "voiceTriggers" (array of strings), all
    // required when decoding (JsonError otherwise).
    QJsonObject toJson() const;
    static StyleMode fromJson(const QJsonObject& object);
};
