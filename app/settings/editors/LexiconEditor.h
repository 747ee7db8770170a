#pragma once

#include "app/settings/editors/RemovableRowsModel.h"

#include "core/store/LearnedRule.h"

#include <QFuture>
#include <QList>
#include <QThreadPool>
#include <QWidget>

class AppState;
class Lexicon;
class QLabel;
class QLineEdit;
class QPushButton;
class RemovableRowsView;

// The lexicon's correction rules: one row per rule ("wrong → right", its hit count, remove),
// then two fields and "添加" for a rule of the user's own; a pair the lexicon would not keep stays
// in the fields with the reason under them. Works on the store directly and
// advances the history version after each change; reread at every change of the counter, which
// moves only the rows that changed. The rules are compared with the ones the list shows on a
// worker of the editor's own (never Qt's global pool, where the window is painted), as their
// number grows with the lexicon, and only the rows that changed are made; only the change lands
// here. Main thread only.
class LexiconEditor : public QWidget
{
    Q_OBJECT

public:
    LexiconEditor(AppState& state, Lexicon& lexicon, QWidget* parent = nullptr);
    // Waits for the rows being built, which read the lexicon.
    ~LexiconEditor() override;

    // Rereads the skin of the refusal now, and the rules on a worker: the list follows once they
    // are compared (its rows read the skin at every paint).
    void reload();

    RemovableRowsView* list() const { return m_list; }

private:
    void add();
    void remove(const QString& id);
    void updateControls();
    void reloadRows();
    void showRows(const RemovableRowsModel::Change& change);

    AppState& m_state;
    Lexicon& m_lexicon;
    RemovableRowsView* m_list;
    QLineEdit* m_wrong;
    QLineEdit* m_right;
    QPushButton* m_add;
    // Why the last pair was not added; hidden once the fields change.
    QLabel* m_refusal;
    // One build at a time, from its start until its change is applied: each change is then
    // computed against exactly the rows the list holds when it lands. A reload asked for meanwhile
    // runs once, after it.
    QThreadPool m_builder;
    QFuture<void> m_building;
    // The rules the list's rows were made of, as of the last change computed: read and replaced
    // only by the build under way, and freed there.
    QList<LearnedRule> m_shownRules;
    bool m_buildPending = false;
    bool m_rebuild = false;
};
