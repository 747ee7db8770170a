#include "app/shell/FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileReveal {

namespace {

// Long enough for a file manager to start, short enough that a dead bus still ends in a window.
constexpr int serviceTimeoutMs = 5000;

void openFolder(const QString& file)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

} // namespace

void reveal(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(absolute);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, serviceTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [absolute](QDBusPendingCallWatcher* done) {
        if (QDBusPendingReply<>(*done).isError())
            openFolder(absolute);
        done->deleteLater();
    });
}

} // namespace FileReveal
