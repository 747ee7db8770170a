#pragma once

#include "app/feedback/CueSynth.h"
#include "platform/SoundOutput.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>

class Clock;

// The start and stop cues of a recording. Each sound is synthesised the first time its key
// ("cork.start") plays and kept until the user picks another set. Main thread only.
class SoundFX
{
public:
    static constexpr std::chrono::milliseconds previewGap{350};

    SoundFX(SoundOutput& output, Clock& clock);
    ~SoundFX();

    QString currentSet() const { return m_currentSet; }
    // Another set than the current one drops every cached sound.
    void setCurrentSet(const QString& set);

    float volume() const { return m_volume; }
    void setVolume(float volume) { m_volume = volume; }

    // Whether the user wants cues: play() is silent while they are off.
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // Plays the cue of kind ("start" or "stop") from the current set, "cork" when the current set
    // is unknown; nothing while cues are off.
    void play(const QString& kind);
    // Plays a set's start sound now and its stop sound 0.35 s later, whether cues are on or not.
    // An unknown set plays nothing.
    void preview(const QString& set);

    // The keys of the sounds made so far, in key order.
    QStringList cachedKeys() const;

private:
    void playRaw(const QString& key, const SoundSpec& spec, double f0);

    SoundOutput& m_output;
    Clock& m_clock;
    QString m_currentSet = QStringLiteral("cork");
    float m_volume = 0.5f;
    bool m_enabled = true;
    std::map<QString, std::unique_ptr<Sound>> m_cache;
    // Lets a preview's delayed stop sound find out that the cues were destroyed meanwhile.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
