#pragma once

#include "app/controller/HistoryEntryActions.h"
#include "app/controller/PersonalData.h"
#include "core/store/HistoryEntry.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

class AppState;
class Clock;
class GatewayAccount;
class RecordingOverlay;
class ServiceSelector;
class Settings;

// What the history and settings windows ask of the controller's personal data: recognising a
// stored recording again, saving a correction of an entry (which teaches the lexicon and feeds
// the style profile), and distilling the style profile on request. None of them types into
// another application, and none is tied to the running recording: a result that arrives during a
// later recording is still stored and reported. Main thread only.
class HistoryOperations : public QObject, public HistoryEntryActions
{
    Q_OBJECT

public:
    static inline const QString kProfileUpdated = QStringLiteral("✓ 风格画像已更新");
    static inline const QString kProfileNotUpdated = QStringLiteral("风格画像没有更新：提炼失败，稍后再试");

    HistoryOperations(AppState& state, Settings& settings, PersonalData data, const ServiceSelector& services,
                      GatewayAccount& gateway, RecordingOverlay& overlay, Clock& clock, QObject* parent = nullptr);

    // Starts recogniseAgain().
    void retranscribe(const HistoryEntry& entry) override;
    // Recognises the entry's recording again in the current mode, never translated, and replaces
    // both of its texts, unless the user corrected the entry meanwhile.
    QCoro::Task<void> recogniseAgain(HistoryEntry entry);
    // Saves newText as the entry's final text and learns from the difference. An entry that still
    // shows a placeholder teaches nothing: the placeholder is not what the recogniser heard.
    void correctHistory(const HistoryEntry& entry, const QString& newText) override;
    QCoro::Task<void> refreshStyleProfile();

private:
    void announceLearned(const QStringList& rights);
    QCoro::Task<void> refreshAfterCorrections();

    AppState& m_state;
    Settings& m_settings;
    PersonalData m_data;
    const ServiceSelector& m_services;
    GatewayAccount& m_gateway;
    RecordingOverlay& m_overlay;
    Clock& m_clock;
};
