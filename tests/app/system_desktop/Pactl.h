#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

// The sound server as the user's own tools see and change it.
namespace Pactl {

// pactl is a process of its own talking to the server: slow to start on a busy machine.
inline constexpr int timeoutMs = 20000;

inline QString run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline bool setSinkVolume(const QString& sink, int percent)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), {"set-sink-volume", sink, QStringLiteral("%1%").arg(percent)});
    return process.waitForFinished(timeoutMs) && process.exitCode() == 0;
}

// The volume of every channel in percent, as pactl prints it.
inline QList<int> sinkVolumes(const QString& sink)
{
    QList<int> percents;
    const QString text = run({"get-sink-volume", sink});
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0);
    static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
    for (auto it = percent.globalMatch(firstLine); it.hasNext();)
        percents.append(it.next().captured(1).toInt());
    return percents;
}

inline std::optional<int> sinkVolume(const QString& sink)
{
    const QList<int> all = sinkVolumes(sink);
    if (all.isEmpty())
        return std::nullopt;
    return *std::max_element(all.begin(), all.end());
}

} // namespace Pactl
