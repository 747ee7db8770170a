#include "platform/linux/keychain/QtKeychainSecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPromise>
#include <qt6keychain/keychain.h>

#include <memory>

namespace {

const QString secretServiceName = QStringLiteral("org.freedesktop.secrets");

// Starts job and resolves the future with what result makes of it once it finishes. The job
// deletes itself after its finished signal.
template <typename T, typename Job, typename Result> QFuture<T> run(Job* job, Result result)
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, job, [promise, result](QKeychain::Job* finished) {
        promise->addResult(result(*static_cast<Job*>(finished)));
        promise->finish();
    });
    job->start();
    return promise->future();
}

// Whether the session bus has a keyring or can start one; two round trips to the bus.
bool askTheBus()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus)
        return false;
    if (bus->isServiceRegistered(secretServiceName))
        return true;
    // A keyring that D-Bus starts on first use counts as there.
    const QStringList activatable = bus->activatableServiceNames();
    return activatable.contains(secretServiceName);
}

} // namespace

bool QtKeychainSecretStore::isAvailable() const
{
    constexpr qint64 recheckMissingMs = 60 * 1000;
    if (!m_available || (!*m_available && m_sinceAsked.elapsed() > recheckMissingMs)) {
        m_available = askTheBus();
        m_sinceAsked.start();
    }
    return *m_available;
}

QFuture<std::optional<QByteArray>> QtKeychainSecretStore::read(const QString& service, const QString& account)
{
    auto* job = new QKeychain::ReadPasswordJob(service);
    job->setKey(account);
    return run<std::optional<QByteArray>>(job, [](const QKeychain::ReadPasswordJob& done) {
        return done.error() == QKeychain::NoError ? std::optional<QByteArray>(done.binaryData()) : std::nullopt;
    });
}

QFuture<bool> QtKeychainSecretStore::write(const QString& service, const QString& account, const QByteArray& data)
{
    auto* job = new QKeychain::WritePasswordJob(service);
    job->setKey(account);
    job->setBinaryData(data);
    return run<bool>(job, [](const QKeychain::WritePasswordJob& done) { return done.error() == QKeychain::NoError; });
}

QFuture<bool> QtKeychainSecretStore::remove(const QString& service, const QString& account)
{
    auto* job = new QKeychain::DeletePasswordJob(service);
    job->setKey(account);
    return run<bool>(job, [](const QKeychain::DeletePasswordJob& done) {
        return done.error() == QKeychain::NoError || done.error() == QKeychain::EntryNotFound;
    });
}
