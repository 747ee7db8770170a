#pragma once

#include <QCoreApplication>
#include <QNetworkReply>

// The requests this process has sent and not yet seen end: the running replies of the network
// managers the application owns, where an HttpTransport keeps the manager it makes. Zero means
// no answer can reach anybody any more, which a test can check at once rather than wait and see
// that none comes.
inline qsizetype requestsInFlight()
{
    qsizetype running = 0;
    for (const QNetworkReply* reply : QCoreApplication::instance()->findChildren<QNetworkReply*>())
        running += reply->isRunning() ? 1 : 0;
    return running;
}
