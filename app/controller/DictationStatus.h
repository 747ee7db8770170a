#pragma once

#include <QString>

#include <optional>

// The texts of a finished dictation's status line.
namespace DictationStatus {

// Milliseconds as seconds with one decimal, rounded the way printf's "%.1f" rounds (250 ms gives
// "0.2"), with a full stop whatever the user's locale.
QString seconds(int milliseconds);

// "✓ 正式 → 英文 · 识别 1.2s · 整理 0.9s"
QString success(const QString& modeName, bool translate, int asrMs, int styleMs);

// The line of a take the microphone cut at `cutAt` seconds says so first, in place of the tick
// ("录音在 3.9 秒处中断 · 正式 · …"); the line as it is without a cut.
QString noteCut(const QString& line, std::optional<double> cutAt);

} // namespace DictationStatus
