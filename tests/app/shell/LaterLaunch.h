#pragma once

#include "app/shell/SingleInstance.h"

#include <QFuture>
#include <QTest>
#include <QtConcurrent>

#include <optional>

// A later launch handing args to the running instance. On a thread of its own: its delivery
// blocks, while the running instance's event loop, this thread's, must run.
inline SingleInstance::Delivery deliverAsLaterLaunch(const QString& lockFolder, const QString& socketFolder,
                                                     const QStringList& args,
                                                     std::optional<uid_t> peerUser = std::nullopt)
{
    QFuture<SingleInstance::Delivery> sent = QtConcurrent::run([lockFolder, socketFolder, args, peerUser] {
        SingleInstance launch(lockFolder, socketFolder);
        if (peerUser)
            launch.setPeerUser(*peerUser);
        return launch.sendToPrimary(args);
    });
    while (!sent.isFinished())
        QTest::qWait(5);
    return sent.result();
}
