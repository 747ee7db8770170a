#pragma once

#include "app/controller/FinishedRecording.h"
#include "app/controller/PersonalData.h"
#include "core/recognition/GatewayClient.h"
#include "core/recognition/TranscriptRace.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class AnswerPopup;
class AppState;
class Clock;
class RecordingOverlay;
class ServiceSelector;
class Settings;
class TextDelivery;

// The two recordings that do not dictate: a spoken question, answered in the answer card, and a
// spoken instruction for the text the user had selected, whose result replaces the selection.
// Both go through the gateway, keep no audio and leave a history entry. Each has no visible
// effect once a newer recording or a cancel has moved the generation it stopped with. Main
// thread only.
class AskRewriteFlow : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        AppState& state;
        Settings& settings;
        PersonalData data;
        // The recogniser of the moment and the gateway the assistants need.
        const ServiceSelector& services;
        Clock& clock;
        RecordingOverlay& overlay;
        AnswerPopup& answers;
        TextDelivery& delivery;
    };

    static inline const QString kCopyHint = QStringLiteral("已复制 · 按 Ctrl+V 替换选中文字");

    explicit AskRewriteFlow(Parts parts, QObject* parent = nullptr);

    // A recording made to ask a question about the application it started in.
    QCoro::Task<void> ask(FinishedRecording recording);
    // A recording made to rewrite its purpose's selection; the result goes to its scene's target.
    QCoro::Task<void> rewrite(FinishedRecording recording);

private:
    TranscriptRace::BatchRecognition batchRecognition(Samples samples) const;
    // The question or instruction, trimmed; recognition failures are thrown.
    QCoro::Task<QString> transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                    TranscriptRace::BatchRecognition batch) const;
    // providerId: the recogniser that heard the question or the instruction.
    // cutAt: where the microphone cut the take, when it did.
    void addEntry(const QString& asrText, const QString& finalText, const QString& providerId, const QString& action,
                  std::optional<double> cutAt);
    // The gateway the assistant needs, while the recording is still the newest; otherwise none,
    // and the session is closed (saying `offline` when the gateway is what is missing).
    std::optional<GatewayClient> gatewayFor(const FinishedRecording& recording, const QString& offline);
    void noSpeech();

    Parts m_parts;
};
