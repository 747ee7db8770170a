#include "app/controller/GatewayAccount.h"

#include "app/controller/AppState.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "core/recognition/GatewayClient.h"
#include "core/store/Lexicon.h"
#include "core/store/LexiconSync.h"

#include <QPointer>
#include <QSysInfo>

GatewayAccount::GatewayAccount(AppState& state, Settings& settings, ServiceSelector& services,
                               std::shared_ptr<Lexicon> lexicon, Config config, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_services(services)
    , m_lexicon(std::move(lexicon))
    , m_config(std::move(config))
{}

QString GatewayAccount::defaultDeviceLabel()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("linux") : host;
}

QCoro::Task<void> GatewayAccount::startup()
{
    // A user who turned the gateway off has asked for it not to be contacted, registration included.
    const bool needsRegistration = m_settings.flag(SettingKey::useGateway) &&
                                   m_settings.text(SettingKey::gatewayToken).isEmpty() && !m_config.signInConfigured;
    QPointer<GatewayAccount> self(this);
    if (needsRegistration) {
        co_await registerDevice();
        if (!self)
            co_return;
    }
    co_await syncLexicon();
}

QCoro::Task<void> GatewayAccount::registerDevice()
{
    QPointer<GatewayAccount> self(this);
    QString token;
    try {
        token = co_await GatewayClient::registerDevice(m_services.endpoints().gateway, m_config.deviceLabel,
                                                       m_config.registerSecret, m_services.endpoints().transport);
    } catch (...) {
        // Unreachable gateway or a refusal: nothing to show, the next start asks again.
        co_return;
    }
    if (self && !token.isEmpty())
        m_settings.setValue(SettingKey::gatewayToken, token);
}

QCoro::Task<void> GatewayAccount::syncLexicon()
{
    std::optional<GatewayClient> client = m_services.gatewayClient();
    if (!client)
        co_return;
    QPointer<GatewayAccount> self(this);
    const LexiconSync sync(std::move(*client), kSyncKey);
    const int changed = co_await sync.sync(m_lexicon);
    if (!self || changed <= 0)
        co_return;
    m_state.bumpHistoryVersion();
    m_state.reportInBackground(QStringLiteral("已同步 %1 条词库").arg(changed));
}
