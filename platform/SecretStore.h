#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <optional>

// Small secrets of the user's (the signed-in session's tokens, API keys, the device token) kept in
// the desktop's keyring, never in a plain file. An item is named by a service and an account.
//
// Calls may be made from the main thread; each answers through a future so that a keyring that
// is slow to unlock never blocks the interface. Nothing throws: a failure resolves to none or
// false, and the caller decides whether that matters.
class SecretStore
{
public:
    virtual ~SecretStore() = default;

    // Whether a keyring service answers on this desktop at all. When it does not, callers that
    // may fall back to the private settings file do so; the session never falls back.
    virtual bool isAvailable() const = 0;

    // The item's data; none when there is no such item or the keyring could not be read.
    virtual QFuture<std::optional<QByteArray>> read(const QString& service, const QString& account) = 0;

    // Creates or replaces the item. False when the keyring refused or is not there.
    virtual QFuture<bool> write(const QString& service, const QString& account, const QByteArray& data) = 0;

    // Deletes the item; true also when there was none.
    virtual QFuture<bool> remove(const QString& service, const QString& account) = 0;
};
