#include "app/settings/editors/CustomPrefsEditor.h"

#include "app/controller/AppState.h"
#include "app/controller/CustomWritingRules.h"
#include "app/settings/editors/EditorRows.h"
#include "app/settings/editors/RemovableRowsView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>

namespace {

constexpr int kMaxFieldLines = 3;

} // namespace

CustomPrefsEditor::CustomPrefsEditor(AppState& state, CustomWritingRules& rules, QWidget* parent)
    : QWidget(parent)
    , m_rules(rules)
    , m_list(new RemovableRowsView(EditorRows::itemFont(), this))
    , m_field(new QPlainTextEdit(this))
    , m_submit(new QPushButton(QStringLiteral("提交"), this))
{
    m_field->setObjectName(QStringLiteral("draft"));
    m_field->setPlaceholderText(QStringLiteral("再描述一条习惯，提交后自动提炼成一句…"));
    m_field->setTabChangesFocus(true);
    m_field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_submit->setObjectName(QStringLiteral("submit"));

    m_list->setObjectName(QStringLiteral("rules"));
    auto* input = new QHBoxLayout;
    input->addWidget(m_field, 1);
    input->addWidget(m_submit, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    layout->addLayout(input);
    layout->addWidget(EditorRows::caption(
        QStringLiteral("例：英文术语保留原文 / 列表项用「-」开头 / 别太正式。提交后自动提炼成一句规则。"), this));

    connect(m_field, &QPlainTextEdit::textChanged, this, [this] {
        fitField();
        updateControls();
    });
    connect(m_submit, &QPushButton::clicked, this, &CustomPrefsEditor::submit);
    connect(m_list, &RemovableRowsView::removeRequested, this, [this](const QString& rule) { m_rules.remove(rule); });
    connect(&state, &AppState::historyVersionChanged, this, &CustomPrefsEditor::reload);
    fitField();
    reload();
}

void CustomPrefsEditor::reload()
{
    QList<RemovableRowsModel::Row> rows;
    for (const QString& rule : m_rules.items())
        rows.append({rule, QStringLiteral("· ") + rule, QString()});
    m_list->rows().setRows(rows);
    m_list->viewport()->update();
    for (QLabel* caption : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        EditorRows::applyDimText(caption);
    updateControls();
}

void CustomPrefsEditor::submit()
{
    if (m_distilling || m_field->toPlainText().trimmed().isEmpty())
        return;
    // The controller trims the description; it gets the text as typed.
    const QString description = m_field->toPlainText();
    m_field->clear();
    m_distilling = true;
    updateControls();
    distil(QPointer<CustomPrefsEditor>(this), m_rules, description);
}

QCoro::Task<void> CustomPrefsEditor::distil(QPointer<CustomPrefsEditor> self, CustomWritingRules& rules,
                                            QString description)
{
    // The controller outlives every window, so the distillation finishes even when the editor
    // is closed meanwhile; only the editor's own state waits for it.
    co_await rules.add(description);
    if (!self)
        co_return;
    self->m_distilling = false;
    self->updateControls();
}

void CustomPrefsEditor::updateControls()
{
    m_field->setEnabled(!m_distilling);
    m_submit->setText(m_distilling ? QStringLiteral("提炼中…") : QStringLiteral("提交"));
    m_submit->setEnabled(!m_distilling && !m_field->toPlainText().trimmed().isEmpty());
}

void CustomPrefsEditor::fitField()
{
    // One line when empty, growing with the text up to three lines, then scrolling.
    const QFontMetrics metrics(m_field->font());
    int lines = 0;
    for (QTextBlock block = m_field->document()->begin(); block.isValid(); block = block.next())
        lines += std::max(1, block.layout() ? block.layout()->lineCount() : 1);
    lines = std::clamp(lines, 1, kMaxFieldLines);
    const QMargins margins = m_field->contentsMargins();
    const int frame = 2 * m_field->frameWidth() + int(2 * m_field->document()->documentMargin());
    m_field->setFixedHeight(lines * metrics.lineSpacing() + frame + margins.top() + margins.bottom());
}
