#include "app/controller/DictationSetup.h"

#include "app/controller/ServiceSelector.h"
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

DictationPipeline pipeline(const ServiceSelector& services, std::shared_ptr<Lexicon> lexicon, Clock& clock)
{
    return DictationPipeline(services.makeProvider(), services.makeStyler(), std::move(lexicon), StyleMode::builtins(),
                             &clock);
}

} // namespace DictationSetup
