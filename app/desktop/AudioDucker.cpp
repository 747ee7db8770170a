#include "app/desktop/AudioDucker.h"

#include "core/store/StoreFile.h"
#include "platform/OutputVolume.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cmath>

AudioDucker::AudioDucker(OutputVolume& output, QString stateFile)
    : m_output(output)
    , m_stateFile(std::move(stateFile))
{}

QString AudioDucker::defaultStateFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Murmo/ducked-volume.json");
}

void AudioDucker::duck()
{
    if (m_saved)
        return;
    const std::optional<OutputVolume::Reading> reading = m_output.defaultOutput();
    if (!reading || !reading->settable || !(reading->volume > duckThreshold))
        return;
    const Saved saved{reading->sink, reading->volume};
    // Written before the volume drops, so there is no moment in which a crash would leave the
    // output quiet with nothing on disk to repair it.
    persist(saved);
    if (!m_output.setVolume(reading->sink, duckLevel)) {
        forgetPersisted();
        return;
    }
    m_saved = saved;
}

void AudioDucker::restore()
{
    if (!m_saved)
        return;
    const Saved saved = *m_saved;
    m_saved.reset();
    forgetPersisted();

    const std::optional<OutputVolume::Reading> reading = m_output.defaultOutput();
    if (!reading || !reading->settable)
        return;
    // Another device in front now: its volume was never ours to change.
    if (reading->sink != saved.sink)
        return;
    // Compared with a little slack: 0.17 and 0.23 are meant to count, and neither they nor the
    // device's quantised steps are exact in binary.
    if (std::abs(double(reading->volume) - double(duckLevel)) <= double(restoreTolerance) + 1e-4)
        m_output.setVolume(saved.sink, saved.volume);
}

void AudioDucker::restoreAfterCrash()
{
    if (m_stateFile.isEmpty() || m_saved || !QFile::exists(m_stateFile))
        return;
    const std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_stateFile);
    if (!bytes)
        return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    const QJsonObject object = document.object();
    const QString sink = object.value(QStringLiteral("sink")).toString();
    const double volume = object.value(QStringLiteral("volume")).toDouble(-1.0);
    if (error.error != QJsonParseError::NoError || sink.isEmpty() || !(volume > 0.0 && volume <= 10.0)) {
        StoreFile::quarantine(m_stateFile);
        return;
    }
    m_saved = Saved{sink, float(volume)};
    restore();
}

void AudioDucker::persist(const Saved& saved)
{
    if (m_stateFile.isEmpty())
        return;
    QJsonObject object;
    object.insert(QStringLiteral("sink"), saved.sink);
    object.insert(QStringLiteral("volume"), double(saved.volume));
    StoreFile::writeAtomically(m_stateFile, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void AudioDucker::forgetPersisted()
{
    if (!m_stateFile.isEmpty())
        QFile::remove(m_stateFile);
}
