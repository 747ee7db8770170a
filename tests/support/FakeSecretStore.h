#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QPromise>

#include <memory>
#include <vector>

// A keyring in memory. Answers at once unless holdReads() is on, in which case reads wait until
// releaseReads() (a keyring that is slow to unlock). Every call is counted.
class FakeSecretStore : public SecretStore
{
public:
    bool isAvailable() const override { return m_available; }
    QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) override;
    QFuture<bool> write(const QString& service, const QString& account, const QByteArray& data) override;
    QFuture<bool> remove(const QString& service, const QString& account) override;

    void setAvailable(bool available) { m_available = available; }
    // A keyring that is there but turns every write and removal down.
    void setRefusingWrites(bool refusing) { m_refusingWrites = refusing; }
    void holdReads() { m_holdReads = true; }
    // Answers the held reads with what the store holds now.
    void releaseReads();

    std::optional<QByteArray> item(const QString& service, const QString& account) const;
    void setItem(const QString& service, const QString& account, const QByteArray& data);

    int writeCount = 0;
    int removeCount = 0;

private:
    static QString keyOf(const QString& service, const QString& account) { return service + u'\n' + account; }

    struct HeldRead
    {
        QString key;
        std::shared_ptr<QPromise<std::optional<QByteArray>>> promise;
    };

    bool m_available = true;
    bool m_refusingWrites = false;
    bool m_holdReads = false;
    QHash<QString, QByteArray> m_items;
    std::vector<HeldRead> m_held;
};
