#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>

class AppState;
class Lexicon;
class ServiceSelector;
class Settings;

// This computer's standing with the maker's gateway: registering the device for a token when
// nobody can sign in, and keeping the lexicon in step with the gateway's copy. Failures are
// silent; the next start or the next learned word tries again. Main thread only.
class GatewayAccount : public QObject
{
    Q_OBJECT

public:
    struct Config
    {
        // Compiled in and agreed with the gateway; it keeps strangers from minting tokens.
        QString registerSecret = QString::fromLatin1(kRegisterSecret);
        // The device's name in the gateway's list: the host name, "linux" without one.
        QString deviceLabel = defaultDeviceLabel();
        // Whether the program can sign users in; then a device token is never requested.
        bool signInConfigured = false;
    };

    static constexpr const char* kRegisterSecret = "7c1e4b52-9a3d-4f86-b0e2-5d9a1c7f3e68";
    static inline const QString kSyncKey = QStringLiteral("kelto-personal");

    GatewayAccount(AppState& state, Settings& settings, ServiceSelector& services, std::shared_ptr<Lexicon> lexicon,
                   Config config, QObject* parent = nullptr);

    static QString defaultDeviceLabel();

    // Registers when the gateway is in use, no device token is stored and sign-in is not
    // available, then synchronises.
    // What to do is decided when it is called, not after the registration.
    QCoro::Task<void> startup();
    // Obtains and stores a device token.
    QCoro::Task<void> registerDevice();
    // Merges the lexicon with the gateway's copy when the gateway is in use and a credential
    // exists; a change shows in the status line unless a recording owns it.
    QCoro::Task<void> syncLexicon();

private:
    AppState& m_state;
    Settings& m_settings;
    ServiceSelector& m_services;
    std::shared_ptr<Lexicon> m_lexicon;
    Config m_config;
};
