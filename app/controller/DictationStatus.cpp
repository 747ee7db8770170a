#include "app/controller/DictationStatus.h"

#include "core/store/HistoryEntry.h"

#include <array>
#include <charconv>

namespace DictationStatus {

QString seconds(int milliseconds)
{
    // to_chars, unlike printf and QString::number, ignores LC_NUMERIC and rounds the exact binary
    // value, so it agrees with "%.1f" in the C locale.
    std::array<char, 32> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), milliseconds / 1000.0, std::chars_format::fixed, 1);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

QString success(const QString& modeName, bool translate, int asrMs, int styleMs)
{
    return QStringLiteral("✓ ") + modeName + (translate ? QStringLiteral(" → 英文") : QString()) +
           QStringLiteral(" · 识别 ") + seconds(asrMs) + QStringLiteral("s · 整理 ") + seconds(styleMs) +
           QStringLiteral("s");
}

QString noteCut(const QString& line, std::optional<double> cutAt)
{
    if (!cutAt)
        return line;
    const QString tick = QStringLiteral("✓ ");
    const QString rest = line.startsWith(tick) ? line.mid(tick.size()) : line;
    return HistoryEntry::cutText(*cutAt) + QStringLiteral(" · ") + rest;
}

} // namespace DictationStatus
