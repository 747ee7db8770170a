#include "app/settings/editors/AppRulesEditor.h"

#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/settings/editors/EditorRows.h"
#include "app/settings/editors/RecentForeignApplication.h"
#include "app/settings/editors/RemovableRowsView.h"
#include "core/text/StyleMode.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kModeWidth = 110;

} // namespace

AppRulesEditor::AppRulesEditor(AppState& state, Settings& settings, RecentForeignApplication& recent, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_settings(settings)
    , m_recent(recent)
    , m_list(new RemovableRowsView(EditorRows::itemFont(true), this))
    , m_bundleId(new QLineEdit(this))
    , m_mode(new QComboBox(this))
    , m_add(new QPushButton(QStringLiteral("添加"), this))
{
    m_bundleId->setObjectName(QStringLiteral("bundleId"));
    m_bundleId->setPlaceholderText(QStringLiteral("窗口类名，如 org.telegram.desktop"));
    m_mode->setObjectName(QStringLiteral("mode"));
    m_mode->setFixedWidth(kModeWidth);
    for (const StyleMode& mode : StyleMode::builtins())
        m_mode->addItem(mode.name, mode.id);
    m_mode->setCurrentIndex(m_mode->findData(QStringLiteral("casual")));
    m_add->setObjectName(QStringLiteral("add"));
    auto* pick = new QPushButton(QStringLiteral("取前台 App"), this);
    pick->setObjectName(QStringLiteral("pickFront"));

    m_list->setObjectName(QStringLiteral("rules"));
    auto* input = new QHBoxLayout;
    input->addWidget(m_bundleId, 1);
    input->addWidget(pick);
    input->addWidget(m_mode);
    input->addWidget(m_add);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    layout->addLayout(input);
    layout->addWidget(EditorRows::caption(
        QStringLiteral("听写时若前台 App 命中规则，自动用对应模式（如微信→聊天随意、Word→书面工整）"), this));

    connect(m_bundleId, &QLineEdit::textChanged, this, &AppRulesEditor::updateControls);
    connect(pick, &QPushButton::clicked, this, &AppRulesEditor::pickFront);
    connect(m_add, &QPushButton::clicked, this, &AppRulesEditor::add);
    connect(m_list, &RemovableRowsView::removeRequested, this, &AppRulesEditor::remove);
    connect(&state, &AppState::historyVersionChanged, this, &AppRulesEditor::reload);
    reload();
}

QString AppRulesEditor::normalisedId(const QString& typed)
{
    return typed.trimmed();
}

void AppRulesEditor::reload()
{
    // QMap keeps its keys in ascending order.
    const QMap<QString, QString> rules = m_settings.appModeRules();
    QList<RemovableRowsModel::Row> rows;
    for (auto it = rules.cbegin(); it != rules.cend(); ++it) {
        const StyleMode* mode = StyleMode::byId(it.value());
        rows.append({it.key(), it.key(), mode ? mode->name : it.value()});
    }
    m_list->rows().setRows(rows);
    m_list->viewport()->update();
    for (QLabel* caption : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        EditorRows::applyDimText(caption);
    updateControls();
}

void AppRulesEditor::add()
{
    // Application ids never hold white space, and a rule under an empty id would match nothing.
    const QString bundleId = normalisedId(m_bundleId->text());
    if (bundleId.isEmpty())
        return;
    QMap<QString, QString> rules = m_settings.appModeRules();
    rules.insert(bundleId, m_mode->currentData().toString());
    m_settings.setAppModeRules(rules);
    m_bundleId->clear();
    m_state.bumpHistoryVersion();
}

void AppRulesEditor::remove(const QString& bundleId)
{
    QMap<QString, QString> rules = m_settings.appModeRules();
    rules.remove(bundleId);
    m_settings.setAppModeRules(rules);
    m_state.bumpHistoryVersion();
}

void AppRulesEditor::pickFront()
{
    if (const std::optional<RunningApplication> front = m_recent.pick())
        m_bundleId->setText(front->bundleId);
}

void AppRulesEditor::updateControls()
{
    m_add->setEnabled(!normalisedId(m_bundleId->text()).isEmpty());
}
