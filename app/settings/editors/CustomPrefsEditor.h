#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

class AppState;
class CustomWritingRules;
class QPlainTextEdit;
class QPushButton;
class RemovableRowsView;

// The user's own writing rules: one row per stored rule with a remove button, then a field in
// which the user describes a habit in plain words and a button that has the controller distil
// it into a rule. The list is read from the controller at every change of the history version.
// Main thread only.
class CustomPrefsEditor : public QWidget
{
    Q_OBJECT

public:
    CustomPrefsEditor(AppState& state, CustomWritingRules& rules, QWidget* parent = nullptr);

    bool isDistilling() const { return m_distilling; }
    // Rereads the rules and the skin.
    void reload();

private:
    void submit();
    void updateControls();
    void fitField();
    // Awaits the distillation; the editor may be gone by then.
    static QCoro::Task<void> distil(QPointer<CustomPrefsEditor> self, CustomWritingRules& rules, QString description);

    CustomWritingRules& m_rules;
    RemovableRowsView* m_list;
    QPlainTextEdit* m_field;
    QPushButton* m_submit;
    bool m_distilling = false;
};
