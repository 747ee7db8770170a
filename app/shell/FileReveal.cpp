#include "app/shell/FileReveal.h"

#include "platform/ProcessLauncher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPromise>
#include <QUrl>

#include <memory>

namespace FileReveal {

namespace {

// Long enough for a file manager to start, short enough that a dead bus still ends in a window.
constexpr int serviceTimeoutMs = 5000;

QFuture<bool> openFolder(const QString& file, ProcessLauncher& launcher)
{
    return launcher.openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

} // namespace

QFuture<bool> reveal(const QString& path, ProcessLauncher& launcher)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openFolder(absolute, launcher);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    const auto settle = [promise](bool shown) {
        promise->addResult(shown);
        promise->finish();
    };
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, serviceTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [absolute, &launcher, settle](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         if (QDBusPendingReply<>(*done).isError())
                             openFolder(absolute, launcher).then(settle);
                         else
                             settle(true);
                     });
    return promise->future();
}

} // namespace FileReveal
