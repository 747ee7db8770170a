#include "app/controller/Migrations.h"

#include "app/controller/Settings.h"
#include "core/store/CorrectionPair.h"
#include "core/store/Lexicon.h"

#include <QString>

namespace Migrations {

namespace {

// Runs step once: the flag is set before the step so that a step that crashes is not retried.
template <typename Step> void once(Settings& settings, const char* flag, Step step)
{
    const QString key = QString::fromLatin1(flag);
    if (settings.flag(key))
        return;
    settings.setValue(key, true);
    step();
}

void fill(Settings& settings, const char* key, const Hotkey& hotkey)
{
    const QString name = QString::fromLatin1(key);
    if (settings.text(name).isEmpty())
        settings.setHotkey(name, hotkey);
}

void set(Settings& settings, const char* key, const Hotkey& hotkey)
{
    settings.setHotkey(QString::fromLatin1(key), hotkey);
}

void addHotwords(Lexicon& lexicon, const QStringList& words)
{
    for (const QString& word : words)
        lexicon.addHotword(word);
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
    once(settings, "didMigrateHotkeyV2", [&] {
        fill(settings, "hkTalk", altSpace);
        fill(settings, "hkTranslate", altT);
        fill(settings, "hkCycle", altSuperM);
    });
    once(settings, "didSeedAskHotkey", [&] { fill(settings, "hkAsk", altA); });
    once(settings, "didSeedRewriteHotkeyV10", [&] { fill(settings, "hkRewrite", altR); });
    once(settings, "didReseedEmptyHkV3", [&] {
        fill(settings, "hkTranslate", altT);
        fill(settings, "hkCycle", altSuperM);
        fill(settings, "hkAsk", altA);
    });
    once(settings, "didSeedChordKeysV5", [&] {
        set(settings, "hkAsk", altSpace);
        set(settings, "hkTranslate", altT);
    });
    once(settings, "didSeedFnTalkV8", [&] { set(settings, "hkTalk", fnAlone); });
    once(settings, "didOptInContextRead", [&] { settings.setValue(QStringLiteral("contextReadText"), true); });
    once(settings, "didForceAutoEngineV11", [&] {
        settings.setValue(QStringLiteral("languageHint"), QStringLiteral("auto"));
        settings.setValue(QStringLiteral("useStreaming"), true);
    });
}

void releaseFnKeyFromSystem(Settings& settings, const FnKeySystem& system)
{
    const QString flag = QStringLiteral("didAutoSetFnNoActionV8");
    if (settings.flag(flag))
        return;
    const std::optional<Hotkey> talk = settings.hotkey(QStringLiteral("hkTalk"));
    if (!talk || talk->keyCode != Hotkeys::fnAlone.keyCode || !system.hijacksSystem())
        return;
    settings.setValue(flag, true);
    system.setToNoAction();
}

bool seedLexicon(Settings& settings, Lexicon& lexicon)
{
    lexicon.seedIfEmpty(seedWords() + brandWords() + productWords(), {seedRule()});
    once(settings, "didMergeBrandsV9", [&] { addHotwords(lexicon, brandWords()); });
    once(settings, "didMergeProductWordsV12", [&] { addHotwords(lexicon, productWords()); });
    once(settings, "didMergeSeedV6", [&] {
        addHotwords(lexicon, seedWords());
        const CorrectionPair rule = seedRule();
        lexicon.addRule(rule.wrong, rule.right, QStringLiteral("generic_seed"));
    });
    bool purged = false;
    once(settings, "didPurgeBadRulesV7", [&] { purged = lexicon.purgeBadRules() > 0; });
    return purged;
}

} // namespace Migrations
