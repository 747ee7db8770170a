#include "app/controller/Migrations.h"

#include "app/controller/Settings.h"
#include "core/store/CorrectionPair.h"
#include "core/store/Lexicon.h"

#include <QString>

namespace Migrations {

namespace {

// Runs step once: the flag is set before the step so that a step that crashes is not retried.
template <typename Step> void once(Settings& settings, SettingKey flag, Step step)
{
    if (settings.flag(flag))
        return;
    settings.setValue(flag, true);
    step();
}

void fill(Settings& settings, SettingKey key, const Hotkey& hotkey)
{
    if (settings.text(key).isEmpty())
        settings.setHotkey(key, hotkey);
}

} // namespace

const QStringList& seedWords()
{
    static const QStringList words{
        QStringLiteral("R&D"),         QStringLiteral("PhD"),           QStringLiteral("proposal"),
        QStringLiteral("manuscript"),  QStringLiteral("introduction"),  QStringLiteral("Codex"),
        QStringLiteral("Claude Code"), QStringLiteral("Final Cut Pro"),
    };
    return words;
}

const QStringList& brandWords()
{
    static const QStringList words{
        QStringLiteral("Perplexity"), QStringLiteral("OpenAI"),    QStringLiteral("ChatGPT"),
        QStringLiteral("GPT"),        QStringLiteral("Gemini"),    QStringLiteral("DeepSeek"),
        QStringLiteral("Claude"),     QStringLiteral("Anthropic"), QStringLiteral("Sonnet"),
        QStringLiteral("Opus"),       QStringLiteral("Cursor"),    QStringLiteral("Qwen"),
        QStringLiteral("Copilot"),    QStringLiteral("GitHub"),    QStringLiteral("VS Code"),
    };
    return words;
}

const QStringList& productWords()
{
    // The product's name as it is written in text and as it appears in identifiers, then the
    // names of the skins.
    static const QStringList words{
        QStringLiteral("Murmo"), QStringLiteral("murmo"), QStringLiteral("朱批"),
        QStringLiteral("宣纸"),  QStringLiteral("青瓷"),
    };
    return words;
}

CorrectionPair seedRule()
{
    return CorrectionPair{QStringLiteral("RND"), QStringLiteral("R&D")};
}

void migrateSettings(Settings& settings)
{
    using namespace Hotkeys;
    // Written to the file together: on a fresh installation every step below changes something.
    const Settings::Batch batch(settings);
    once(settings, SettingKey::didMigrateHotkeyV2, [&] {
        fill(settings, SettingKey::hkTalk, altSpace);
        fill(settings, SettingKey::hkTranslate, altT);
        fill(settings, SettingKey::hkCycle, altSuperM);
    });
    once(settings, SettingKey::didSeedAskHotkey, [&] { fill(settings, SettingKey::hkAsk, altA); });
    once(settings, SettingKey::didSeedRewriteHotkeyV10, [&] { fill(settings, SettingKey::hkRewrite, altR); });
    once(settings, SettingKey::didReseedEmptyHkV3, [&] {
        fill(settings, SettingKey::hkTranslate, altT);
        fill(settings, SettingKey::hkCycle, altSuperM);
        fill(settings, SettingKey::hkAsk, altA);
    });
    // A user who kept Alt+Space for ask ran this step long ago and keeps it.
    once(settings, SettingKey::didSeedChordKeysV5, [&] {
        settings.setHotkey(SettingKey::hkAsk, askKey);
        settings.setHotkey(SettingKey::hkTranslate, altT);
    });
    once(settings, SettingKey::didSeedFnTalkV8, [&] { settings.setHotkey(SettingKey::hkTalk, fnAlone); });
    once(settings, SettingKey::didOptInContextRead, [&] { settings.setValue(SettingKey::contextReadText, true); });
    once(settings, SettingKey::didForceAutoEngineV11, [&] {
        settings.setValue(SettingKey::languageHint, QStringLiteral("auto"));
        settings.setValue(SettingKey::useStreaming, true);
    });
}

void releaseFnKeyFromSystem(Settings& settings, const FnKeySystem& system)
{
    if (settings.flag(SettingKey::didAutoSetFnNoActionV8))
        return;
    const std::optional<Hotkey> talk = settings.hotkey(SettingKey::hkTalk);
    if (!talk || talk->keyCode != Hotkeys::fnAlone.keyCode || !system.hijacksSystem())
        return;
    settings.setValue(SettingKey::didAutoSetFnNoActionV8, true);
    system.setToNoAction();
}

bool seedLexicon(Settings& settings, Lexicon& lexicon)
{
    return seedLexicon(lexicon, claimLexiconSteps(settings));
}

LexiconSteps claimLexiconSteps(Settings& settings)
{
    LexiconSteps steps;
    const Settings::Batch batch(settings);
    once(settings, SettingKey::didMergeBrandsV9, [&] { steps.mergeBrands = true; });
    once(settings, SettingKey::didMergeProductWordsV12, [&] { steps.mergeProductWords = true; });
    once(settings, SettingKey::didMergeSeedV6, [&] { steps.mergeSeed = true; });
    once(settings, SettingKey::didPurgeBadRulesV7, [&] { steps.purgeBadRules = true; });
    return steps;
}

bool seedLexicon(Lexicon& lexicon, const LexiconSteps& steps)
{
    lexicon.seedIfEmpty(seedWords() + brandWords() + productWords(), {seedRule()});
    if (steps.mergeBrands)
        lexicon.addHotwords(brandWords());
    if (steps.mergeProductWords)
        lexicon.addHotwords(productWords());
    if (steps.mergeSeed) {
        lexicon.addHotwords(seedWords());
        const CorrectionPair rule = seedRule();
        lexicon.addRule(rule.wrong, rule.right, QStringLiteral("generic_seed"));
    }
    return steps.purgeBadRules && lexicon.purgeBadRules() > 0;
}

} // namespace Migrations
