#pragma once

#include "app/controller/AppServices.h"
#include "core/net/HttpTransport.h"
#include "tests/support/FakeServices.h"

#include <QTemporaryDir>

// The application's settings and data in a throw-away folder, every service at the fake gateway.
inline AppServices::Options loopbackOptions(const QTemporaryDir& dir, const FakeGateway& gateway,
                                            HttpTransport& transport)
{
    AppServices::Options options;
    options.settingsFile = dir.filePath(QStringLiteral("config/Murmo.conf"));
    options.dataDirectory = dir.filePath(QStringLiteral("data/Murmo"));
    options.duckerStateFile = dir.filePath(QStringLiteral("data/Murmo/ducked-volume.json"));
    const QUrl address = gateway.baseUrl();
    options.endpoints = ServiceChoice::Endpoints{address, address, address, address, &transport};
    return options;
}
