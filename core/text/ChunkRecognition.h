#pragma once

#include "core/audio/Samples.h"

#include <QCoroTask>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class AsrProvider;
class CancelToken;
class Clock;

// Recognises the chunks of one long recording: never more than kMaxInFlight requests at a time,
// the next chunk started (in order) whenever one finishes, each chunk tried up to kAttempts times
// with waits of 600 ms times the attempt number in between.
namespace ChunkRecognition {

inline constexpr int kMaxInFlight = 3;
inline constexpr int kAttempts = 3;
inline constexpr std::chrono::milliseconds kRetryStep{600};

// The transcripts in chunk order, however the answers arrived. A chunk the recogniser hears
// nothing in (a long pause) is an empty transcript, not retried; when every chunk is empty the
// recogniser's empty-result error is thrown. When a chunk fails its last
// attempt the others are cancelled and awaited, then that chunk's error is thrown. Raising cancel
// cancels every chunk (CancelledError is thrown). clock times the waits and must outlive the call.
QCoro::Task<QStringList> recognize(std::shared_ptr<const AsrProvider> provider, std::vector<Samples> chunks,
                                   QStringList vocabulary, std::optional<QString> languageHint, Clock* clock,
                                   CancelToken* cancel = nullptr);

} // namespace ChunkRecognition
