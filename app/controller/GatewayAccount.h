#pragma once

#include "app/controller/GatewayCredentials.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>

class AppState;
class Lexicon;
class ServiceSelector;
class Settings;

// This computer's standing with the maker's gateway: registering the device for a token at
// start when nobody can sign in, and keeping the lexicon in step with the gateway's copy.
// Failures are silent, apart from a lexicon that can no longer be kept with the account's copy,
// which the status line says once, also across starts; a request that needs the gateway registers
// again, the next learned word synchronises again unless the account's copy is too large to read,
// which waits for the next start. Main thread only.
class GatewayAccount : public QObject
{
    Q_OBJECT

public:
    using Config = GatewayCredentials::Config;

    static inline const QString kSyncKey = QStringLiteral("kelto-personal");

    GatewayAccount(AppState& state, Settings& settings, ServiceSelector& services, std::shared_ptr<Lexicon> lexicon,
                   QObject* parent = nullptr);

    // Registers when the gateway is in use, no device token is stored and sign-in is not
    // available, then synchronises.
    // What to do is decided when it is called, not after the registration.
    QCoro::Task<void> startup();
    // Merges the lexicon with the gateway's copy when the gateway is in use and a credential
    // exists; a change shows in the status line unless a recording owns it.
    QCoro::Task<void> syncLexicon();

private:
    AppState& m_state;
    Settings& m_settings;
    ServiceSelector& m_services;
    std::shared_ptr<Lexicon> m_lexicon;
    // The account's copy was too large to read: no pass until the next start.
    bool m_waitingForNextStart = false;
};
