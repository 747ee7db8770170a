#pragma once

#include "platform/Clock.h"
#include "platform/SecretStore.h"

#include <QObject>

#include <chrono>

// A keyring whose every call answers within a time limit. A keyring that is there but locked, with
// its unlock prompt unanswered, leaves a call pending for ever; past the limit the call is
// answered as a failure (none, or false), so that a caller falls back on the private settings
// file instead of waiting. A late answer of the keyring is then ignored. Main thread only.
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
    // Where the keyring's answers are taken in: the thread the store lives on.
    QObject m_context;
};
