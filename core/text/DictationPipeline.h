#pragma once

#include "core/audio/Samples.h"
#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class AsrProvider;
class CancelToken;
class Clock;
class Lexicon;
class Styler;

// Turns one dictation into the text to insert: recognition (long recordings in overlapping chunks,
// several at a time), removal of the vocabulary the recogniser read back, the user's correction
// rules, a style mode chosen by voice, and styling by the language model with guards against
// blank and refusing answers. The controller builds one per dictation; each call is independent.
//
// Copies share the provider, styler and lexicon. A running call keeps its own copies of them, so
// the pipeline may be destroyed while it runs; the clock must outlive every call.
class DictationPipeline
{
public:
    struct Output
    {
        QString asrText;   // recognised text after echo removal and correction rules; empty when nothing was said
        QString finalText; // the text to insert
        StyleMode mode;    // the default mode, or the one a voice trigger chose
        int asrMs = 0;
        int styleMs = 0; // 0 when the model was not asked
        int chunkCount = 0;
        bool stylingFailed = false; // the styler threw and finalText is the unstyled text
        bool stylingBlank = false;  // the styler answered nothing and finalText is the unstyled text

        bool operator==(const Output&) const = default;
    };

    // How recordings are cut for recognition.
    static constexpr double kChunkSeconds = 60;
    static constexpr double kSearchWindowSeconds = 4;
    static constexpr double kOverlapSeconds = 3;
    // Hotword runs at least this long are the vocabulary read back, not speech.
    static constexpr qsizetype kMinHotwordRun = 5;
    // How many hotwords the styling note names.
    static constexpr qsizetype kNoteHotwords = 30;

    DictationPipeline(std::shared_ptr<const AsrProvider> provider, std::shared_ptr<const Styler> styler,
                      std::shared_ptr<Lexicon> lexicon, QList<StyleMode> modes, Clock* clock);

    const std::shared_ptr<const AsrProvider>& provider() const { return m_provider; }
    const std::shared_ptr<const Styler>& styler() const { return m_styler; }
    const std::shared_ptr<Lexicon>& lexicon() const { return m_lexicon; }
    const QList<StyleMode>& modes() const { return m_modes; }

    // Recognises 16 kHz mono samples and finishes the text. Recordings the chunker leaves whole
    // are sent once; longer ones go in chunks, each retried twice. Throws the recogniser's error
    // (after cancelling the other chunks); styling errors never fail the call.
    QCoro::Task<Output> run(Samples samples, StyleMode defaultMode, StylePreferences preferences, bool translate,
                            std::optional<QString> languageHint, CancelToken* cancel = nullptr) const;
    // The same for samples someone else holds too (they are cut and encoded on a worker, never
    // copied on the caller's thread), with the hot words the caller has read already (a large
    // lexicon's are not cheap).
    QCoro::Task<Output> run(std::shared_ptr<const Samples> samples, StyleMode defaultMode, StylePreferences preferences,
                            bool translate, std::optional<QString> languageHint, QStringList vocabulary,
                            CancelToken* cancel = nullptr) const;

    // Recognises a ready WAV image in one request (no language hint, no retry), then finishes it.
    QCoro::Task<Output> run(QByteArray wavData, StyleMode defaultMode, StylePreferences preferences, bool translate,
                            CancelToken* cancel = nullptr) const;

    // Finishes a transcript recognised elsewhere (streaming). Does not fail: a styling error sets
    // stylingFailed.
    QCoro::Task<Output> process(QString rawText, StyleMode defaultMode, StylePreferences preferences, bool translate,
                                int asrMs, CancelToken* cancel = nullptr) const;

    // Styles again the asrText an earlier dictation kept (the retry after a styling failure). That
    // text has been cleaned and corrected already, so the correction rules are not applied twice.
    // Does not fail, like process.
    QCoro::Task<Output> restyle(QString asrText, StyleMode defaultMode, StylePreferences preferences, bool translate,
                                int asrMs, CancelToken* cancel = nullptr) const;

    // The note that tells the model to restore the user's English terms, naming the first
    // kNoteHotwords of hotwords; it starts with a line feed so it reads as one more preference.
    static QString englishTermsNote(const QStringList& hotwords);

private:
    std::shared_ptr<const AsrProvider> m_provider;
    std::shared_ptr<const Styler> m_styler;
    std::shared_ptr<Lexicon> m_lexicon;
    QList<StyleMode> m_modes;
    Clock* m_clock;
};
