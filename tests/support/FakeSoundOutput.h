#pragma once

#include "platform/SoundOutput.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

// A sound output that plays nothing and records what the program asked of it. Sounds stay
// inspectable after the program destroys them.
class FakeSoundOutput : public SoundOutput
{
public:
    struct Record
    {
        QByteArray wav;
        QList<QString> events; // "play 0.5", "stop"
        bool playing = false;
        bool destroyed = false;
    };

    class FakeSound : public Sound
    {
    public:
        explicit FakeSound(std::shared_ptr<Record> record)
            : m_record(std::move(record))
        {}
        ~FakeSound() override { m_record->destroyed = true; }
        void play(float volume) override
        {
            m_record->events.append(QStringLiteral("play %1").arg(double(volume)));
            m_record->playing = true;
        }
        void stop() override
        {
            m_record->events.append(QStringLiteral("stop"));
            m_record->playing = false;
        }
        bool isPlaying() const override { return m_record->playing; }
        // Plays the end of the sound, as the output would.
        void finish()
        {
            m_record->playing = false;
            if (onFinished)
                onFinished();
        }

    private:
        std::shared_ptr<Record> m_record;
    };

    // When set, makeSound() refuses every image.
    bool refuse = false;

    std::unique_ptr<Sound> makeSound(const QByteArray& wav) override
    {
        auto record = std::make_shared<Record>();
        record->wav = wav;
        m_made.push_back(record);
        if (refuse) {
            m_sounds.push_back(nullptr);
            return nullptr;
        }
        auto sound = std::make_unique<FakeSound>(record);
        m_sounds.push_back(sound.get());
        return sound;
    }

    // Every image offered, in order, refused ones included.
    const std::vector<std::shared_ptr<Record>>& made() const { return m_made; }

    // The live sound made from the index-th image; null when it was refused or destroyed.
    FakeSound* sound(size_t index) const
    {
        if (index >= m_made.size() || m_made[index]->destroyed)
            return nullptr;
        return m_sounds[index];
    }

private:
    std::vector<std::shared_ptr<Record>> m_made;
    std::vector<FakeSound*> m_sounds;
};
