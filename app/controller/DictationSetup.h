#pragma once

#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"

#include <QString>

#include <memory>
#include <optional>

class Clock;
class Lexicon;
class ServiceSelector;
class Settings;

// The parts every dictation, and every retry of one, is assembled from, read from the settings
// at the moment of the call.
namespace DictationSetup {

// The built-in mode the settings name, "formal" when they name none.
StyleMode currentMode(const Settings& settings);

// None for "auto", which lets the recogniser detect the language.
std::optional<QString> languageHint(const Settings& settings);

// A pipeline over the recogniser and styler the settings and session choose now.
DictationPipeline pipeline(const ServiceSelector& services, std::shared_ptr<Lexicon> lexicon, Clock& clock);

} // namespace DictationSetup
