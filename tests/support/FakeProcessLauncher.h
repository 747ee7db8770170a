#pragma once

#include "platform/ProcessLauncher.h"

#include <QMap>

// Programs the test declares installed; records every start and every address instead of starting
// anything. An address opens when opensUrls says so.
class FakeProcessLauncher : public ProcessLauncher
{
public:
    struct Start
    {
        QString program;
        QStringList arguments;
        bool operator==(const Start&) const = default;
    };

    QMap<QString, QString> installed; // name -> path
    bool refuseStart = false;
    QList<Start> starts;
    bool opensUrls = true;
    QList<QUrl> openedUrls;

    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        starts.append({program, arguments});
        return !refuseStart;
    }

    QString findExecutable(const QString& name) const override { return installed.value(name); }

    QFuture<bool> openUrl(const QUrl& url) override
    {
        openedUrls.append(url);
        return QtFuture::makeReadyFuture(opensUrls);
    }
};
