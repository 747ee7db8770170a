#pragma once

#include "platform/SecretStore.h"

#include <QElapsedTimer>

#include <optional>

// The keyring through QtKeychain, which speaks the Secret Service (gnome-keyring, KWallet's
// bridge) on this desktop. There is no plain-file fallback: without a keyring a read gives none
// and a write fails.
//
// QtKeychain runs its jobs one at a time in the order they were started, so a read started after
// a write sees what was written. Main thread only; the futures resolve on the main thread.
class QtKeychainSecretStore : public SecretStore
{
public:
    // Asks the session bus once; a keyring that was missing is looked for again after a minute,
    // so that a write does not wait on the bus each time.
    bool isAvailable() const override;
    QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) override;
    QFuture<bool> write(const QString& service, const QString& account, const QByteArray& data) override;
    QFuture<bool> remove(const QString& service, const QString& account) override;

private:
    mutable std::optional<bool> m_available;
    mutable QElapsedTimer m_sinceAsked;
};
