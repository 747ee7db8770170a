#include "tests/support/FakeSecretStore.h"

#include <QFuture>

QFuture<std::optional<QByteArray>> FakeSecretStore::read(const QString& service, const QString& account)
{
    const QString key = keyOf(service, account);
    if (m_holdReads) {
        auto promise = std::make_shared<QPromise<std::optional<QByteArray>>>();
        promise->start();
        m_held.push_back({key, promise});
        return promise->future();
    }
    if (!m_available || !m_items.contains(key))
        return QtFuture::makeReadyFuture(std::optional<QByteArray>());
    return QtFuture::makeReadyFuture(std::optional<QByteArray>(m_items.value(key)));
}

QFuture<bool> FakeSecretStore::write(const QString& service, const QString& account, const QByteArray& data)
{
    ++writeCount;
    const bool accepted = m_available && !m_refusingWrites;
    if (accepted)
        m_items.insert(keyOf(service, account), data);
    return QtFuture::makeReadyFuture(accepted);
}

QFuture<bool> FakeSecretStore::remove(const QString& service, const QString& account)
{
    ++removeCount;
    const bool accepted = m_available && !m_refusingWrites;
    if (accepted)
        m_items.remove(keyOf(service, account));
    return QtFuture::makeReadyFuture(accepted);
}

void FakeSecretStore::releaseReads()
{
    m_holdReads = false;
    std::vector<HeldRead> held;
    held.swap(m_held);
    for (const HeldRead& read : held) {
        const auto found = m_items.constFind(read.key);
        read.promise->addResult(found == m_items.constEnd() ? std::nullopt : std::optional<QByteArray>(*found));
        read.promise->finish();
    }
}

std::optional<QByteArray> FakeSecretStore::item(const QString& service, const QString& account) const
{
    const auto found = m_items.constFind(keyOf(service, account));
    return found == m_items.constEnd() ? std::nullopt : std::optional<QByteArray>(*found);
}

void FakeSecretStore::setItem(const QString& service, const QString& account, const QByteArray& data)
{
    m_items.insert(keyOf(service, account), data);
}
