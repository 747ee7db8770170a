#include "app/controller/EditLearning.h"

#include "app/controller/AppState.h"
#include "app/controller/GatewayAccount.h"
#include "app/desktop/InputLearningMonitor.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/store/Lexicon.h"

#include <utility>

EditLearning::EditLearning(AppState& state, std::shared_ptr<Lexicon> lexicon, TextInserter& inserter,
                           InputLearningMonitor& monitor, RecordingOverlay& overlay, GatewayAccount& gateway,
                           QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_lexicon(std::move(lexicon))
    , m_overlay(overlay)
    , m_gateway(gateway)
{
    connect(&inserter, &TextInserter::inserted, &monitor, &InputLearningMonitor::arm);
    connect(&monitor, &InputLearningMonitor::learned, this, &EditLearning::learnFromEdit);
}

void EditLearning::learnFromEdit(const QString& inserted, const QString& edited)
{
    const QList<CorrectionPair> pairs = m_lexicon->previewCorrections(inserted, edited);
    if (pairs.isEmpty() || pairs.size() > kMaxPairs)
        return;
    QStringList shown;
    for (const CorrectionPair& pair : pairs) {
        // A pair the lexicon refuses is not learned, so it is not announced either.
        if (Lexicon::isRefused(pair.wrong, pair.right, QStringLiteral("auto_edit")))
            continue;
        m_lexicon->addRule(pair.wrong, pair.right, QStringLiteral("auto_edit"));
        shown.append(pair.wrong + QStringLiteral(" → ") + pair.right);
    }
    if (shown.isEmpty())
        return;
    m_state.bumpHistoryVersion();
    m_gateway.syncLexicon();
    m_overlay.note(QStringLiteral("已学习：") + shown.join(QStringLiteral("、")), QStringLiteral("下次自动用上"));
}
