#pragma once

#include "app/controller/DictationJob.h"
#include "app/controller/FinishedRecording.h"
#include "app/controller/FlowParts.h"
#include "core/audio/Samples.h"
#include "core/recognition/DictationRoads.h"

#include <QCoroTask>
#include <QObject>

class FailureReport;

// Turns one stopped dictation into text at the cursor: assembles the job (the mode the front
// application's rule or the settings name, the pipeline, the preferences with the screen's
// context and the style profile, the history entry), saves the take with its entry while the
// dictation roads recognise and style it, then types or copies, updates the history and learns
// on-screen terms. Failures go to the failure report.
//
// Main thread only. A dictation whose generation is no longer the newest still writes its entry,
// learns and types, but leaves the status line, the overlay and the clipboard alone.
class Dictation : public QObject
{
    Q_OBJECT

public:
    // A take this long that recognises as nothing is kept as a failure, not thrown away.
    static constexpr qsizetype kKeepEmptySamples = kRecordingSampleRate;
    static constexpr qsizetype kTermMinChars = 4;
    static constexpr int kTermsPerDictation = 5;
    // After where a cut take's capsule says it was cut, once its text is typed.
    static inline const QString kCutCapsuleNote = QStringLiteral(" · 之后的话没有录上");

    // failures: where what goes wrong is reported and retried.
    Dictation(FlowParts parts, FailureReport& failures, QObject* parent = nullptr);

    // Runs the whole dictation of a recording made to dictate or translate; never throws. Nobody
    // needs to await it.
    QCoro::Task<> run(FinishedRecording recording);

private:
    DictationJob jobFor(const FinishedRecording& recording) const;
    // The output step after the typing, which run() does as early as it can.
    void deliver(const DictationJob& job, const DictationPipeline::Output& output, qsizetype sampleCount, bool typed);
    QCoro::Task<> learnTerms(std::optional<ScreenContext::Info> screen, QString finalText);

    FlowParts m_parts;
    FailureReport& m_failures;
    DictationRoads m_roads;
};
