#include "app/controller/CustomWritingRules.h"

#include "app/controller/AppState.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "core/recognition/GatewayClient.h"
#include "core/text/CustomRule.h"
#include "core/text/CustomRuleList.h"
#include "core/text/LlmStyler.h"

#include <QPointer>

CustomWritingRules::CustomWritingRules(AppState& state, Settings& settings, ServiceSelector& services, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_services(services)
{}

QStringList CustomWritingRules::items() const
{
    return CustomRuleList::items(m_settings.text(SettingKey::prefCustomNotes));
}

void CustomWritingRules::remove(const QString& rule)
{
    m_settings.setValue(SettingKey::prefCustomNotes,
                        CustomRuleList::without(m_settings.text(SettingKey::prefCustomNotes), rule));
    m_state.bumpHistoryVersion();
}

QCoro::Task<void> CustomWritingRules::add(QString description)
{
    const QString trimmed = description.trimmed();
    if (trimmed.isEmpty())
        co_return;
    QPointer<CustomWritingRules> self(this);
    const QString rule = co_await distil(trimmed);
    if (!self || rule.isEmpty())
        co_return;
    // Read again: the list may have changed while the model was thinking.
    m_settings.setValue(SettingKey::prefCustomNotes,
                        CustomRuleList::with(m_settings.text(SettingKey::prefCustomNotes), rule));
    m_state.bumpHistoryVersion();
}

QCoro::Task<QString> CustomWritingRules::distil(QString description)
{
    const std::optional<GatewayClient> client = m_services.gatewayClient();
    QString answer;
    try {
        if (client) {
            answer = co_await client->complete(CustomRuleList::kDistillPrompt, description);
        } else {
            const LlmStyler llm = ServiceChoice::makeLlm(m_services.choice(), m_services.endpoints());
            answer = co_await llm.complete(CustomRuleList::kDistillPrompt, description);
        }
    } catch (...) {
        co_return CustomRule::fromAnswer(description);
    }
    co_return CustomRule::fromAnswer(answer);
}
