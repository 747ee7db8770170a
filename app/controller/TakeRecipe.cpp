#include "app/controller/TakeRecipe.h"

#include "app/controller/AppContextLabel.h"
#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/Settings.h"
#include "core/recognition/AsrProvider.h"
#include "core/store/Lexicon.h"
#include "core/store/StyleProfile.h"

namespace {

StyleMode modeFor(const Settings& settings, const StyleMode& current,
                  const std::optional<RunningApplication>& startedIn)
{
    if (!startedIn)
        return current;
    const StyleMode* ruled = StyleMode::byId(settings.appModeRules().value(startedIn->bundleId));
    return ruled ? *ruled : current;
}

} // namespace

TakeRecipe TakeRecipe::make(const AppState& state, const Settings& settings, const PersonalData& data,
                            const ServiceSelector& services, Clock& clock, const Occasion& occasion)
{
    const StyleMode current = DictationSetup::currentMode(settings);
    DictationPipeline pipeline = DictationSetup::pipeline(services, data.lexicon, clock);
    StylePreferences preferences = state.preferences();
    if (occasion.screen) {
        if (const std::optional<QString> line = ScreenContext::promptLine(*occasion.screen))
            preferences.contextSection = *line;
    }
    if (occasion.withProfile)
        preferences.profileSection = data.styleProfile.promptFragment();
    if (occasion.labelWith)
        preferences.appContext = AppContextLabel::label(settings.flag(SettingKey::autoCompose), occasion.screen,
                                                        *occasion.labelWith, occasion.target, occasion.startedIn);
    const QString providerId = pipeline.provider()->id();
    return TakeRecipe{std::move(pipeline),
                      modeFor(settings, current, occasion.startedIn),
                      std::move(preferences),
                      DictationSetup::languageHint(settings),
                      data.lexicon->asrHotwords(),
                      current.id,
                      providerId};
}
