#include "app/settings/editors/LexiconEditor.h"

#include "app/controller/AppState.h"
#include "app/settings/editors/EditorRows.h"
#include "core/store/Lexicon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kUserAdded = QStringLiteral("user_added");

} // namespace

LexiconEditor::LexiconEditor(AppState& state, Lexicon& lexicon, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_lexicon(lexicon)
    , m_list(new QVBoxLayout)
    , m_wrong(new QLineEdit(this))
    , m_right(new QLineEdit(this))
    , m_add(new QPushButton(QStringLiteral("添加"), this))
{
    m_wrong->setObjectName(QStringLiteral("wrong"));
    m_wrong->setPlaceholderText(QStringLiteral("误识别词"));
    m_right->setObjectName(QStringLiteral("right"));
    m_right->setPlaceholderText(QStringLiteral("正确词"));
    m_add->setObjectName(QStringLiteral("add"));
    auto* arrow = new QLabel(QStringLiteral("→"), this);

    m_list->setContentsMargins(0, 0, 0, 0);
    auto* input = new QHBoxLayout;
    input->addWidget(m_wrong, 1);
    input->addWidget(arrow);
    input->addWidget(m_right, 1);
    input->addWidget(m_add);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_list);
    layout->addLayout(input);

    connect(m_wrong, &QLineEdit::textChanged, this, &LexiconEditor::updateControls);
    connect(m_right, &QLineEdit::textChanged, this, &LexiconEditor::updateControls);
    connect(m_add, &QPushButton::clicked, this, &LexiconEditor::add);
    connect(&state, &AppState::historyVersionChanged, this, &LexiconEditor::reload);
    reload();
}

void LexiconEditor::reload()
{
    EditorRows::clear(m_list);
    for (const LearnedRule& rule : m_lexicon.allRules()) {
        const QUuid id = rule.id;
        m_list->addWidget(EditorRows::removable(
            rule.wrong + QStringLiteral(" → ") + rule.right, QStringLiteral("命中 %1").arg(rule.hitCount), QFont(),
            [this, id] {
                m_lexicon.removeRule(id);
                m_state.bumpHistoryVersion();
            },
            this));
    }
    updateControls();
}

void LexiconEditor::add()
{
    if (m_wrong->text().isEmpty() || m_right->text().isEmpty())
        return;
    // As typed: the store decides what it keeps, and the fields are emptied either way.
    m_lexicon.addRule(m_wrong->text(), m_right->text(), kUserAdded);
    m_wrong->clear();
    m_right->clear();
    m_state.bumpHistoryVersion();
}

void LexiconEditor::updateControls()
{
    m_add->setEnabled(!m_wrong->text().isEmpty() && !m_right->text().isEmpty());
}
