#include "platform/linux/system/QProcessLauncher.h"

#include <QProcess>
#include <QPromise>
#include <QStandardPaths>

#include <memory>

QProcessLauncher::QProcessLauncher(QString opener)
    : m_opener(std::move(opener))
{}

bool QProcessLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

QString QProcessLauncher::findExecutable(const QString& name) const
{
    return QStandardPaths::findExecutable(name);
}

QFuture<bool> QProcessLauncher::openUrl(const QUrl& url)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    auto* process = new QProcess(&m_running);
    // The opener may run the browser in its own place until the browser ends: what either says
    // goes where ours goes, and no pipe of ours fills up or holds them.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    const auto settle = [promise, process](bool opened) {
        promise->addResult(opened);
        promise->finish();
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process, [settle](int exitCode, QProcess::ExitStatus status) {
        settle(status == QProcess::NormalExit && exitCode == 0);
    });
    // A program that never started reports only this; one that crashed also finishes.
    QObject::connect(process, &QProcess::errorOccurred, process, [settle](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            settle(false);
    });
    process->start(m_opener, {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    return promise->future();
}
