#include "app/settings/editors/LexiconEditor.h"

#include "app/controller/AppState.h"
#include "app/settings/editors/EditorRows.h"
#include "app/settings/editors/RemovableRowsView.h"
#include "core/async/PostToThread.h"
#include "core/store/Lexicon.h"
#include "core/store/TextClass.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtConcurrent>

#include <utility>

namespace {

const QString kUserAdded = QStringLiteral("user_added");

// Why the lexicon keeps no rule of this pair, in the user's terms.
QString refusalReason(const QString& wrong, const QString& right)
{
    const QString w = TextClass::trimWhiteSpace(wrong);
    const QString r = TextClass::trimWhiteSpace(right);
    if (w.isEmpty() || r.isEmpty())
        return QStringLiteral("未添加：两边都要有字");
    if (TextClass::canonicallyEqual(w, r))
        return QStringLiteral("未添加：两边相同，无需纠正");
    return QStringLiteral("未添加：这条规则容易误改正常文字（误识别词过短、过长或含标点）");
}

RemovableRowsModel::Row rowOf(const LearnedRule& rule)
{
    return {rule.id.toString(), rule.wrong + QStringLiteral(" → ") + rule.right,
            QStringLiteral("命中 %1").arg(rule.hitCount)};
}

} // namespace

LexiconEditor::LexiconEditor(AppState& state, Lexicon& lexicon, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_lexicon(lexicon)
    , m_list(new RemovableRowsView(EditorRows::itemFont(), this))
    , m_wrong(new QLineEdit(this))
    , m_right(new QLineEdit(this))
    , m_add(new QPushButton(QStringLiteral("添加"), this))
    , m_refusal(EditorRows::caption(QString(), this))
{
    m_wrong->setObjectName(QStringLiteral("wrong"));
    m_wrong->setPlaceholderText(QStringLiteral("误识别词"));
    m_right->setObjectName(QStringLiteral("right"));
    m_right->setPlaceholderText(QStringLiteral("正确词"));
    m_add->setObjectName(QStringLiteral("add"));
    auto* arrow = new QLabel(QStringLiteral("→"), this);

    m_list->setObjectName(QStringLiteral("rules"));
    auto* input = new QHBoxLayout;
    input->addWidget(m_wrong, 1);
    input->addWidget(arrow);
    input->addWidget(m_right, 1);
    input->addWidget(m_add);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    layout->addLayout(input);
    m_refusal->setObjectName(QStringLiteral("refusal"));
    m_refusal->hide();
    layout->addWidget(m_refusal);

    // One build at a time runs anyway; its thread stays for the next click.
    m_builder.setMaxThreadCount(1);
    m_builder.setExpiryTimeout(-1);

    connect(m_wrong, &QLineEdit::textChanged, this, &LexiconEditor::updateControls);
    connect(m_right, &QLineEdit::textChanged, this, &LexiconEditor::updateControls);
    connect(m_add, &QPushButton::clicked, this, &LexiconEditor::add);
    connect(m_list, &RemovableRowsView::removeRequested, this, &LexiconEditor::remove);
    connect(&state, &AppState::historyVersionChanged, this, &LexiconEditor::reload);
    reload();
}

LexiconEditor::~LexiconEditor()
{
    m_building.waitForFinished();
}

void LexiconEditor::reload()
{
    // The list draws again only the rows that change, once they land: drawing it all now, before
    // they do, would cost a large list's repaint for nothing.
    EditorRows::applyDimText(m_refusal);
    updateControls();
    reloadRows();
}

void LexiconEditor::reloadRows()
{
    if (m_buildPending) {
        m_rebuild = true;
        return;
    }
    m_buildPending = true;
    // The destructor waits for this task, so the editor is still there when it posts the change.
    m_building = QtConcurrent::run(&m_builder, [this] {
        QList<LearnedRule> rules = m_lexicon.allRules();
        RemovableRowsModel::Change change = RemovableRowsModel::diff(
            m_shownRules, rules, [](const LearnedRule& a, const LearnedRule& b) { return a.id == b.id; },
            [](const LearnedRule& a, const LearnedRule& b) {
                return a.hitCount == b.hitCount && a.wrong == b.wrong && a.right == b.right;
            },
            rowOf);
        // The rows are made of these once the change lands; the old ones are let go here.
        m_shownRules = std::move(rules);
        postTo(this, [this, change = std::move(change)] { showRows(change); });
    });
}

void LexiconEditor::showRows(const RemovableRowsModel::Change& change)
{
    // The model tells the list which rows moved or changed, and only those are drawn again.
    m_list->rows().apply(change);
    m_buildPending = false;
    if (std::exchange(m_rebuild, false))
        reloadRows();
}

void LexiconEditor::remove(const QString& id)
{
    m_lexicon.removeRule(QUuid(id));
    m_state.bumpHistoryVersion();
}

void LexiconEditor::add()
{
    const QString wrong = m_wrong->text();
    const QString right = m_right->text();
    if (wrong.isEmpty() || right.isEmpty())
        return;
    // The pair stays in the fields, to be mended, when the store would not keep it.
    if (Lexicon::isRefused(wrong, right, kUserAdded)) {
        m_refusal->setText(refusalReason(wrong, right));
        m_refusal->show();
        return;
    }
    // As typed: the store trims nothing.
    m_lexicon.addRule(wrong, right, kUserAdded);
    m_wrong->clear();
    m_right->clear();
    m_state.bumpHistoryVersion();
}

void LexiconEditor::updateControls()
{
    m_add->setEnabled(!m_wrong->text().isEmpty() && !m_right->text().isEmpty());
    m_refusal->hide();
}
