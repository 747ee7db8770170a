#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <utility>

class CapsuleButton;
class Settings;
class SoundFX;

// The cue-sound sets as capsules. A click stores the set and plays it as a preview, also when it
// was already chosen, so the user can listen again. Dimmed and inert while cue sounds are off.
class SoundSetPicker : public QWidget
{
    Q_OBJECT

public:
    // (id, name) of every set the cue synthesiser knows, in the order they are offered.
    static const QList<std::pair<QString, QString>>& sets();

    SoundSetPicker(Settings& settings, SoundFX& sounds, QWidget* parent = nullptr);

    const QList<CapsuleButton*>& capsules() const { return m_capsules; }

private:
    void pick(const QString& id);
    void showChosen();

    Settings& m_settings;
    SoundFX& m_sounds;
    QList<CapsuleButton*> m_capsules;
};
