#pragma once

#include <QString>

#include <optional>

class OutputVolume;

// Lowers the desktop's output volume while a dictation recording runs, so that sound playing on
// the computer does not drown the speaker, and gives it back afterwards unless the user has
// chosen another volume meanwhile. The volume from before is also kept in a small file until it
// is given back: a crash while ducked is repaired at the next start. Used from one thread at a
// time; the program runs it on a worker (BackgroundDucker), since the sound server may be slow.
class AudioDucker
{
public:
    static constexpr float duckLevel = 0.2f;
    static constexpr float duckThreshold = 0.25f;
    static constexpr float restoreTolerance = 0.03f;

    struct Saved
    {
        QString sink;
        float volume = 0.0f;
    };

    // Where the program keeps the saved volume: "ducked-volume.json" in its data directory.
    static QString defaultStateFile();

    // stateFile keeps the saved volume across a crash; an empty path keeps it in memory only.
    AudioDucker(OutputVolume& output, QString stateFile);

    // Lowers a volume above the threshold to the duck level and remembers it. Ducking again
    // while ducked keeps the first volume.
    void duck();
    // Gives the remembered volume back when the output still sits at the duck level and is the
    // same device; forgets it in any case.
    void restore();
    // At start: a volume left behind by a previous run that ended while ducked is given back
    // under the same rules as restore().
    void restoreAfterCrash();

    const std::optional<Saved>& saved() const { return m_saved; }

private:
    void persist(const Saved& saved);
    void forgetPersisted();

    OutputVolume& m_output;
    QString m_stateFile;
    std::optional<Saved> m_saved;
};
