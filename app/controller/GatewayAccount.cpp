#include "app/controller/GatewayAccount.h"

#include "app/controller/AppState.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "core/recognition/GatewayClient.h"
#include "core/store/Lexicon.h"
#include "core/store/LexiconSync.h"

#include <QPointer>

GatewayAccount::GatewayAccount(AppState& state, Settings& settings, ServiceSelector& services,
                               std::shared_ptr<Lexicon> lexicon, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_services(services)
    , m_lexicon(std::move(lexicon))
{}

QCoro::Task<void> GatewayAccount::startup()
{
    GatewayCredentials& credentials = *m_services.credentials();
    // A user who turned the gateway off has asked for it not to be contacted, registration included.
    const bool needsRegistration = m_settings.flag(SettingKey::useGateway) &&
                                   m_settings.text(SettingKey::gatewayToken).isEmpty() &&
                                   !credentials.config().signInConfigured;
    QPointer<GatewayAccount> self(this);
    if (needsRegistration) {
        co_await credentials.registerDevice();
        if (!self)
            co_return;
    }
    co_await syncLexicon();
}

QCoro::Task<void> GatewayAccount::syncLexicon()
{
    // Only with a credential at hand: a sync is no reason to register or to ask for a sign-in.
    std::optional<GatewayClient> client = m_services.gatewayClient();
    if (!client || !m_services.gatewayCredential() || m_waitingForNextStart)
        co_return;
    QPointer<GatewayAccount> self(this);
    const LexiconSync sync(std::move(*client), kSyncKey);
    const LexiconSync::Pass pass = co_await sync.sync(m_lexicon);
    if (!self)
        co_return;
    if (pass.waitForNextStart)
        m_waitingForNextStart = true;
    // Why synchronising stopped is said once, not at every learned word nor at every start, until
    // a pass gets through again. A line the status line could not take is said by a later pass.
    const QString told = m_settings.text(SettingKey::lexiconSyncNotice);
    if (pass.pushed && !told.isEmpty())
        m_settings.setValue(SettingKey::lexiconSyncNotice, QString());
    if (!pass.stopped.isEmpty() && pass.stopped != told && m_state.reportInBackground(pass.stopped))
        m_settings.setValue(SettingKey::lexiconSyncNotice, pass.stopped);
    if (pass.added <= 0)
        co_return;
    m_state.bumpHistoryVersion();
    m_state.reportInBackground(QStringLiteral("已同步 %1 条词库").arg(pass.added));
}
