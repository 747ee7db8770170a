#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class Sound;
class SoundOutput;

// Plays the saved recording of a history entry, one at a time, and tells the history rows which
// entry is playing. Loading (decoding Ogg/Opus) runs on a worker thread; every change of state
// happens on the main thread. The newest request always wins: a load that finishes after another
// play or a stop is dropped.
class AudioPreview : public QObject
{
    Q_OBJECT

public:
    // Turns a recording file into the WAV image to play; empty when there is nothing playable.
    // Runs on a worker thread.
    using Loader = std::function<QByteArray(const QString& path)>;

    explicit AudioPreview(SoundOutput& output, Loader loader = defaultLoader, QObject* parent = nullptr);
    ~AudioPreview() override;

    // Ogg recordings (by extension, in any case) are decoded to 16 kHz samples; any other file is
    // played as it is, at its own rate (channels mixed to one).
    static QByteArray defaultLoader(const QString& path);

    // Replaces whatever plays with the recording at path for the entry id. Returns at once; the
    // entry counts as playing while it loads.
    void play(const QString& path, const QUuid& id);
    void stop();

    bool isPlaying() const { return m_isPlaying; }
    std::optional<QUuid> currentId() const { return m_currentId; }

Q_SIGNALS:
    // isPlaying() or currentId() changed.
    void stateChanged();

private:
    void loaded(const QUuid& id, quint64 request, const QByteArray& wav);

    SoundOutput& m_output;
    Loader m_loader;
    std::unique_ptr<Sound> m_player;
    bool m_isPlaying = false;
    std::optional<QUuid> m_currentId;
    // Counts plays and stops, so the end of a sound that has since been replaced is ignored
    // even when its notice was already on its way.
    quint64 m_request = 0;
};
