#pragma once

#include "platform/Clock.h"
#include "platform/SecretStore.h"

#include <chrono>
#include <memory>

// A keyring whose writes and removals answer within a time limit. A keyring that is there but
// locked, with its unlock prompt unanswered, leaves a call pending for ever; past the limit a write
// or removal is answered as a failure, so that the caller keeps the value in the private settings
// file instead of nowhere. A late answer of the keyring is then ignored. Reads are left to wait:
// a secret that is not there yet is read from the file meanwhile, and the keyring's answer still
// counts when the user unlocks it late. Main thread only.
class BoundedSecretStore : public SecretStore
{
public:
    static constexpr std::chrono::seconds defaultLimit{10};

    BoundedSecretStore(SecretStore& keyring, Clock& clock, std::chrono::milliseconds limit = defaultLimit);

    bool isAvailable() const override { return m_keyring.isAvailable(); }
    QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) override;
    QFuture<bool> write(const QString& service, const QString& account, const QByteArray& data) override;
    QFuture<bool> remove(const QString& service, const QString& account) override;

private:
    template <typename T> QFuture<T> bounded(QFuture<T> answer, T failed);

    SecretStore& m_keyring;
    Clock& m_clock;
    std::chrono::milliseconds m_limit;
    // Gone with the store: a keyring that answers after it (at exit) touches nothing of it.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};
