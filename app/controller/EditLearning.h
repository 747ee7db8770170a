#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AppState;
class GatewayAccount;
class InputLearningMonitor;
class Lexicon;
class RecordingOverlay;
class TextInserter;

// Learns from what the user fixes right after an insertion: every text inserted into another
// application arms the learning monitor, and an edit that changed the text in one or two places
// becomes lexicon rules. More changes than that mean the user rewrote the sentence, which teaches
// nothing about recognition. Main thread only.
class EditLearning : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxPairs = 2;

    EditLearning(AppState& state, std::shared_ptr<Lexicon> lexicon, TextInserter& inserter,
                 InputLearningMonitor& monitor, RecordingOverlay& overlay, GatewayAccount& gateway,
                 QObject* parent = nullptr);

    void learnFromEdit(const QString& inserted, const QString& edited);

private:
    AppState& m_state;
    std::shared_ptr<Lexicon> m_lexicon;
    RecordingOverlay& m_overlay;
    GatewayAccount& m_gateway;
};
