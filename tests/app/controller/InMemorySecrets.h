#pragma once

#include "platform/SecretStore.h"

#include <QFuture>
#include <QHash>

// A keyring held in memory; it can be made absent or made to refuse writes.
class InMemorySecrets : public SecretStore
{
public:
    bool available = true;
    bool refuseWrites = false;
    QHash<QString, QByteArray> items; // "service/account" -> data

    bool isAvailable() const override { return available; }

    QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) override
    {
        const QString name = service + u'/' + account;
        return QtFuture::makeReadyFuture(available && items.contains(name) ? std::optional(items.value(name))
                                                                           : std::nullopt);
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
