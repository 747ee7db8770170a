#pragma once

#include "platform/ProcessLauncher.h"

#include <QObject>

// Addresses go to xdg-open, which exits non-zero when no program could take them.
class QProcessLauncher : public ProcessLauncher
{
public:
    // opener: the program that opens addresses; the tests give one of their own.
    explicit QProcessLauncher(QString opener = QStringLiteral("xdg-open"));

    bool startDetached(const QString& program, const QStringList& arguments) override;
    QString findExecutable(const QString& name) const override;
    QFuture<bool> openUrl(const QUrl& url) override;

private:
    QString m_opener;
    // Owns the openers still running, so none outlives the adapter.
    QObject m_running;
};
