#include "app/feedback/SoundFX.h"

#include "platform/Clock.h"

namespace {
const QString fallbackSet = QStringLiteral("cork");
} // namespace

SoundFX::SoundFX(SoundOutput& output, Clock& clock)
    : m_output(output)
    , m_clock(clock)
{}

SoundFX::~SoundFX()
{
    *m_alive = false;
}

void SoundFX::setCurrentSet(const QString& set)
{
    if (set == m_currentSet)
        return;
    m_currentSet = set;
    m_cache.clear();
}

void SoundFX::play(const QString& kind)
{
    if (!m_enabled)
        return;
    const auto& specs = SoundSpec::builtIn();
    const QString setId = specs.contains(m_currentSet) ? m_currentSet : fallbackSet;
    const SoundSpec& spec = specs.at(setId);
    const double f0 = kind == QLatin1String("start") ? spec.f0Start : spec.f0Stop;
    playRaw(setId + QLatin1Char('.') + kind, spec, f0);
}

void SoundFX::preview(const QString& set)
{
    const auto& specs = SoundSpec::builtIn();
    const auto found = specs.find(set);
    if (found == specs.end())
        return;
    const SoundSpec spec = found->second;
    playRaw(set + QStringLiteral(".start"), spec, spec.f0Start);
    std::weak_ptr<bool> alive = m_alive;
    m_clock.schedule(previewGap, [this, alive, set, spec] {
        if (alive.lock())
            playRaw(set + QStringLiteral(".stop"), spec, spec.f0Stop);
    });
}

QStringList SoundFX::cachedKeys() const
{
    QStringList keys;
    for (const auto& [key, sound] : m_cache)
        keys.append(key);
    return keys;
}

void SoundFX::playRaw(const QString& key, const SoundSpec& spec, double f0)
{
    Sound* sound = nullptr;
    if (const auto cached = m_cache.find(key); cached != m_cache.end()) {
        sound = cached->second.get();
    } else {
        std::unique_ptr<Sound> made = m_output.makeSound(CueSynth::render(spec, f0));
        if (!made) {
            // Not cached, so the next play of this key tries again.
            m_cache.erase(key);
            return;
        }
        sound = made.get();
        m_cache[key] = std::move(made);
    }
    sound->play(m_volume);
}
