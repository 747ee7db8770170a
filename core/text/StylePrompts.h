#pragma once

#include <QString>

// The fixed instructions given to the language model by the style modes. Each is built once, on
// first use (thread-safe), and never changes.
namespace StylePrompts {

// The prompts of the three built-in modes.
const QString& rawPrompt();
const QString& casualPrompt();
const QString& formalPrompt();

// Added after the casual and formal prompts: how names, numbers, spelled-out words and
// self-corrections are normalised. Begins with two line feeds.
const QString& normalisationAppendix();
// Added after the appendix for the formal mode only. Begins with two line feeds.
const QString& formalExtra();

// The translator instructions, by the tone of the mode: raw, casual, and every other mode.
const QString& rawTranslationPrompt();
const QString& casualTranslationPrompt();
const QString& formalTranslationPrompt();

} // namespace StylePrompts
