#pragma once

#include "app/shell/SingleInstance.h"
#include "platform/linux/system/LinuxSingleInstanceSystem.h"

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <optional>

// A later launch handing args to the running instance. On a thread of its own: its delivery
// blocks, while the running instance's event loop, this thread's, must run.
inline SingleInstance::Delivery deliverAsLaterLaunch(const QString& lockFolder, const QString& socketFolder,
                                                     const QStringList& args,
                                                     std::optional<uid_t> peerUser = std::nullopt)
{
    QFuture<SingleInstance::Delivery> sent = QtConcurrent::run([lockFolder, socketFolder, args, peerUser] {
        LinuxSingleInstanceSystem system;
        SingleInstance launch(system, lockFolder, socketFolder);
        if (peerUser)
            launch.setPeerUser(*peerUser);
        return launch.sendToPrimary(args);
    });
    // Woken by the delivery's end, whenever it comes: the watcher posts it to this thread's loop.
    QFutureWatcher<SingleInstance::Delivery> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(sent);
    if (!sent.isFinished())
        loop.exec();
    return sent.result();
}
