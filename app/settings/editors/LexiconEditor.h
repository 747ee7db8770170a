#pragma once

#include <QWidget>

class AppState;
class Lexicon;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The lexicon's correction rules: one row per rule ("wrong → right", its hit count, remove),
// then two fields and "添加" for a rule of the user's own. Works on the store directly and
// advances the history version after each change; reread at every change of the counter.
// Main thread only.
class LexiconEditor : public QWidget
{
    Q_OBJECT

public:
    LexiconEditor(AppState& state, Lexicon& lexicon, QWidget* parent = nullptr);

    // Rereads the rules and the skin.
    void reload();

private:
    void add();
    void updateControls();

    AppState& m_state;
    Lexicon& m_lexicon;
    QVBoxLayout* m_list;
    QLineEdit* m_wrong;
    QLineEdit* m_right;
    QPushButton* m_add;
};
