#pragma once

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
// moves only the rows that changed. Main thread only.
class LexiconEditor : public QWidget
{
    Q_OBJECT

public:
    LexiconEditor(AppState& state, Lexicon& lexicon, QWidget* parent = nullptr);

    // Rereads the rules and the skin.
    void reload();

    RemovableRowsView* list() const { return m_list; }

private:
    void add();
    void remove(const QString& id);
    void updateControls();

    AppState& m_state;
    Lexicon& m_lexicon;
    RemovableRowsView* m_list;
    QLineEdit* m_wrong;
    QLineEdit* m_right;
    QPushButton* m_add;
    // Why the last pair was not added; hidden once the fields change.
    QLabel* m_refusal;
};
