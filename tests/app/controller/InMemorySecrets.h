#pragma once

#include "platform/SecretStore.h"

#include <QFuture>
#include <QHash>
#include <QPromise>
#include <QTimer>

#include <memory>

// A keyring held in memory; it can be made absent, made to refuse writes, or made to answer reads
// from the event loop as a real keyring over D-Bus does.
class InMemorySecrets : public SecretStore
{
public:
    bool available = true;
    bool refuseWrites = false;
    bool answerLater = false;
    QHash<QString, QByteArray> items; // "service/account" -> data

    bool isAvailable() const override { return available; }

    QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) override
    {
        const QString name = service + u'/' + account;
        const std::optional<QByteArray> answer =
            available && items.contains(name) ? std::optional(items.value(name)) : std::nullopt;
        if (!answerLater)
            return QtFuture::makeReadyFuture(answer);
        auto promise = std::make_shared<QPromise<std::optional<QByteArray>>>();
        QFuture<std::optional<QByteArray>> future = promise->future();
        promise->start();
        QTimer::singleShot(0, [promise, answer] {
            promise->addResult(answer);
            promise->finish();
        });
        return future;
    }

    QFuture<bool> write(const QString& service, const QString& account, const QByteArray& data) override
    {
        if (!available || refuseWrites)
            return QtFuture::makeReadyFuture(false);
        items.insert(service + u'/' + account, data);
        return QtFuture::makeReadyFuture(true);
    }

    QFuture<bool> remove(const QString& service, const QString& account) override
    {
        if (!available || refuseWrites)
            return QtFuture::makeReadyFuture(false);
        items.remove(service + u'/' + account);
        return QtFuture::makeReadyFuture(true);
    }
};
