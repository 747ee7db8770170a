#pragma once

#include "app/controller/PersonalData.h"

class AppState;
class Clipboard;
class Clock;
class QThreadPool;
class RecordingOverlay;
class ServiceSelector;
class Settings;
class TextDelivery;
class Workspace;

// What a dictation and the retries of a failed one work with.
struct FlowParts
{
    AppState& state;
    Settings& settings;
    PersonalData data;
    // The recogniser and styler of the moment.
    const ServiceSelector& services;
    Workspace& workspace;
    Clock& clock;
    RecordingOverlay& overlay;
    Clipboard& clipboard;
    TextDelivery& delivery;
    // Encode, save and decode the takes.
    QThreadPool& workers;
};
