#include "platform/BoundedSecretStore.h"

#include <QPromise>

#include <memory>

BoundedSecretStore::BoundedSecretStore(SecretStore& keyring, Clock& clock, std::chrono::milliseconds limit)
    : m_keyring(keyring)
    , m_clock(clock)
    , m_limit(limit)
{}

template <typename T> QFuture<T> BoundedSecretStore::bounded(QFuture<T> answer, T failed)
{
    struct Pending
    {
        QPromise<T> promise;
        bool settled = false;
        Clock::TimerId timer = 0;
    };
    auto pending = std::make_shared<Pending>();
    pending->promise.start();
    const auto settle = [pending](T value) {
        if (std::exchange(pending->settled, true))
            return;
        pending->promise.addResult(std::move(value));
        pending->promise.finish();
    };
    pending->timer = m_clock.schedule(m_limit, [settle, failed] { settle(failed); });
    // Taken in on the thread that answers, the keyring's own (the main thread here).
    answer.then([settle, pending, clock = &m_clock, alive = std::weak_ptr<const bool>(m_alive)](T value) {
        if (alive.expired())
            return;
        clock->cancel(pending->timer);
        settle(std::move(value));
    });
    return pending->promise.future();
}

QFuture<std::optional<QByteArray>> BoundedSecretStore::read(const QString& service, const QString& account)
{
    return m_keyring.read(service, account);
}

QFuture<bool> BoundedSecretStore::write(const QString& service, const QString& account, const QByteArray& data)
{
    return bounded(m_keyring.write(service, account, data), false);
}

QFuture<bool> BoundedSecretStore::remove(const QString& service, const QString& account)
{
    return bounded(m_keyring.remove(service, account), false);
}
