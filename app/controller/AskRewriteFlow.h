#pragma once

#include "app/desktop/ScreenContext.h"
#include "core/audio/Samples.h"
#include "core/recognition/GatewayClient.h"
#include "core/recognition/TranscriptRace.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <exception>
#include <memory>
#include <optional>

class AppServices;
class StreamingTranscriptSource;

// The two recordings that do not dictate: a spoken question, answered in the answer card, and a
// spoken instruction for the text the user had selected, whose result replaces the selection.
// Both go through the gateway, keep no audio and leave a history entry. Each takes a generation
// when it starts and has no visible effect once a newer recording or a cancel has moved it.
// Main thread only.
class AskRewriteFlow : public QObject
{
    Q_OBJECT

public:
    // What the question is asked about, as remembered when the recording started.
    struct AskScene
    {
        // The front application's name.
        QString appName;
        std::optional<ScreenContext::Info> screen;
        // Where the answer card's insert button types: the front application's window class.
        std::optional<QString> target;
    };

    static inline const QString kCopyHint = QStringLiteral("已复制 · 按 Ctrl+V 替换选中文字");

    explicit AskRewriteFlow(AppServices& app, QObject* parent = nullptr);

    // samples: the stopped, boosted take; session: its streaming recognition, or null.
    QCoro::Task<void> askWith(Samples samples, std::shared_ptr<StreamingTranscriptSource> session, AskScene scene);
    // target: where the rewritten text goes (the window class of the application to paste into).
    QCoro::Task<void> rewriteWith(Samples samples, std::shared_ptr<StreamingTranscriptSource> session,
                                  QString selection, std::optional<QString> target);

private:
    TranscriptRace::BatchRecognition batchRecognition(Samples samples) const;
    // The question or instruction, trimmed; recognition failures are thrown.
    QCoro::Task<QString> transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                    TranscriptRace::BatchRecognition batch) const;
    bool isCurrent(quint64 generation) const;
    // providerId: the recogniser that heard the question or the instruction.
    void addEntry(const QString& asrText, const QString& finalText, const QString& providerId, const QString& action);
    // The take is being recognised: the stop cue, the status line and the capsule say so. Returns
    // the gateway the assistant needs; without one, says `offline` and closes the session.
    std::optional<GatewayClient> startProcessing(const QString& status, const QString& offline,
                                                 const std::shared_ptr<StreamingTranscriptSource>& session);
    void noSpeech();

    AppServices& m_app;
};
