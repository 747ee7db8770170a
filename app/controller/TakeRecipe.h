#pragma once

#include "app/controller/PersonalData.h"
#include "app/desktop/ScreenContext.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"
#include "platform/Workspace.h"

#include <QString>
#include <QStringList>

#include <optional>

class AppState;
class Clock;
class ServiceSelector;
class Settings;

// What a take is recognised and styled with, read from the settings, the services and the
// personal data at the moment it is made: a dictation's at its stop, a retry's when the user asks.
struct TakeRecipe
{
    // How the occasion differs from a plain retry, which uses the current mode, the settings'
    // preferences and nothing of the screen.
    struct Occasion
    {
        // The application the take was started in: its mode rule, when it has one, chooses the mode.
        std::optional<RunningApplication> startedIn;
        // What the start read of the screen: its context line goes into the prompt.
        std::optional<ScreenContext::Info> screen;
        // Whether the style profile's fragment goes into the prompt.
        bool withProfile = false;
        // When set, the prompt names the application the text is for (target), looked up here.
        Workspace* labelWith = nullptr;
        std::optional<QString> target;
    };

    DictationPipeline pipeline;
    StyleMode mode;
    StylePreferences preferences;
    std::optional<QString> languageHint;
    // The hot words, read once for every request the take makes.
    QStringList vocabulary;
    // What the take's history entry records: the current mode, whatever a rule chose, and the
    // recogniser that runs.
    QString entryModeId;
    QString providerId;

    static TakeRecipe make(const AppState& state, const Settings& settings, const PersonalData& data,
                           const ServiceSelector& services, Clock& clock, const Occasion& occasion);
};
