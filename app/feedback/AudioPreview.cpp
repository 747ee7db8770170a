#include "app/feedback/AudioPreview.h"

#include "core/async/PostToThread.h"
#include "core/audio/AudioStorage.h"
#include "core/audio/Samples.h"
#include "core/audio/SoundFile.h"
#include "core/audio/WavEncoder.h"
#include "platform/SoundOutput.h"

#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <stdexcept>

namespace {
constexpr qint64 maxPlainFileBytes = 512LL * 1024 * 1024;
} // namespace

AudioPreview::AudioPreview(SoundOutput& output, Loader loader, QObject* parent)
    : QObject(parent)
    , m_output(output)
    , m_loader(std::move(loader))
{}

AudioPreview::~AudioPreview() = default;

QByteArray AudioPreview::defaultLoader(const QString& path)
{
    try {
        if (QFileInfo(path).suffix().toLower() == QLatin1String("ogg")) {
            const Samples samples = AudioStorage::readSamples(path);
            if (samples.empty())
                return {};
            return WavEncoder::encode(samples, kRecordingSampleRate);
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > maxPlainFileBytes)
            return {};
        const std::optional<SoundFile::Audio<float>> audio = SoundFile::readFloat(file.readAll());
        if (!audio || audio->channels < 1 || audio->frames() == 0)
            return {};
        Samples mono(size_t(audio->frames()));
        for (size_t frame = 0; frame < mono.size(); ++frame) {
            float sum = 0.0f;
            for (int channel = 0; channel < audio->channels; ++channel)
                sum += audio->interleaved[frame * size_t(audio->channels) + size_t(channel)];
            mono[frame] = sum / float(audio->channels);
        }
        return WavEncoder::encode(mono, audio->sampleRate);
    } catch (const std::exception&) {
        // Too long for one WAV image, or out of memory: not playable, like a broken file.
        return {};
    }
}

void AudioPreview::play(const QString& path, const QUuid& id)
{
    stop();
    m_currentId = id;
    m_isPlaying = true;
    const quint64 request = m_request;
    Q_EMIT stateChanged();

    // The watcher is ours: destroying the player drops the result of a load still running.
    auto* watcher = new QFutureWatcher<QByteArray>(this);
    connect(watcher, &QFutureWatcher<QByteArray>::finished, this, [this, watcher, id, request] {
        watcher->deleteLater();
        loaded(id, request, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([loader = m_loader, path] { return loader(path); }));
}

void AudioPreview::stop()
{
    ++m_request;
    m_player.reset();
    const bool changed = m_isPlaying || m_currentId;
    m_isPlaying = false;
    m_currentId.reset();
    if (changed)
        Q_EMIT stateChanged();
}

void AudioPreview::loaded(const QUuid& id, quint64 request, const QByteArray& wav)
{
    if (m_currentId != id || m_request != request)
        return;
    std::unique_ptr<Sound> sound = wav.isEmpty() ? nullptr : m_output.makeSound(wav);
    if (!sound) {
        stop();
        return;
    }
    // The sound is ours, so this is alive when it finishes; the stop waits for the sound's own
    // notice to return, since stopping destroys the sound.
    sound->onFinished = [this, request] {
        postTo(this, [this, request] {
            if (m_request == request)
                stop();
        });
    };
    sound->play(1.0f);
    m_player = std::move(sound);
}
