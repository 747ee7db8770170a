#pragma once

#include "core/audio/Samples.h"

#include <QString>

#include <span>

// Recording files: a take's 16 kHz mono samples as a compact file and back. The preferred form
// is Ogg/Opus; when that cannot be produced the same name receives a WAV image, so audio is kept
// either way. Readers tell the two apart by content, not by name. Stateless and free of
// temporary files, so calls may run at once on several threads; both directions are heavy for
// long takes and belong on a worker thread.
namespace AudioStorage {

inline const QString fileExtension = QStringLiteral("ogg");

// Writes samples to path, replacing any file there atomically. False when there was nothing to
// write or neither form could be written; no partial file is ever left at path.
bool write(std::span<const float> samples, const QString& path);

// The recording's samples at 16 kHz mono, whatever the file holds: Ogg/Opus, or any format
// libsndfile reads (WAV, FLAC, ...) at any rate. Empty when the file is missing or unreadable.
Samples readSamples(const QString& path);

} // namespace AudioStorage
