#include "app/controller/DictationSetup.h"

#include "app/controller/AppServices.h"
#include "app/controller/Settings.h"

namespace DictationSetup {

StyleMode currentMode(const Settings& settings)
{
    const StyleMode* mode = StyleMode::byId(settings.text(SettingKey::currentModeId));
    return mode ? *mode : StyleMode::formal();
}

std::optional<QString> languageHint(const Settings& settings)
{
    const QString hint = settings.text(SettingKey::languageHint);
    if (hint == QLatin1String("auto"))
        return std::nullopt;
    return hint;
}

DictationPipeline pipeline(AppServices& app)
{
    return DictationPipeline(app.services().makeProvider(), app.services().makeStyler(), app.lexicon(),
                             StyleMode::builtins(), &app.ports().clock);
}

} // namespace DictationSetup
