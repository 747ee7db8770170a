#pragma once

class Accessibility;
class Appearance;
class AudioInput;
class Clipboard;
class Clock;
class Compositing;
class FreedMemory;
class KeyEventSource;
class KeySynthesizer;
class OutputVolume;
class PermissionProbes;
class ProcessLauncher;
class SecretStore;
class SoundOutput;
class Workspace;

// One reference to each port, as the composition root hands them to the application: the Linux
// adapters in the program, fakes in the tests. Whoever fills it keeps the objects alive for as
// long as the application that took them.
struct Ports
{
    Clock& clock;
    KeyEventSource& keys;
    KeySynthesizer& keySynthesizer;
    AudioInput& audioInput;
    SoundOutput& soundOutput;
    OutputVolume& outputVolume;
    Clipboard& clipboard;
    Workspace& workspace;
    Accessibility& accessibility;
    Compositing& compositing;
    Appearance& appearance;
    PermissionProbes& permissions;
    ProcessLauncher& launcher;
    // Says through isAvailable() whether a keyring answers; without one the settings keep their
    // secrets in the private settings file and the session lasts until the program ends.
    SecretStore& secrets;
    FreedMemory& freedMemory;
};
