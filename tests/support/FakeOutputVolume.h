#pragma once

#include "platform/OutputVolume.h"

#include <QMap>
#include <QStringList>

// Output devices whose volumes the test sets and reads back; records every change asked for.
class FakeOutputVolume : public OutputVolume
{
public:
    QMap<QString, float> volumes{{QStringLiteral("speakers"), 0.8f}};
    QString defaultSink = QStringLiteral("speakers");
    bool settable = true;
    bool refuseSet = false;
    bool serverGone = false;
    QStringList changes; // "speakers=0.2"

    std::optional<Reading> defaultOutput() override
    {
        if (serverGone || !volumes.contains(defaultSink))
            return std::nullopt;
        return Reading{defaultSink, volumes.value(defaultSink), settable};
    }

    bool setVolume(const QString& sink, float volume) override
    {
        changes.append(QStringLiteral("%1=%2").arg(sink).arg(double(volume)));
        if (serverGone || refuseSet || !settable || !volumes.contains(sink))
            return false;
        volumes[sink] = volume;
        return true;
    }
};
