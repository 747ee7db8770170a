#pragma once

#include <QString>
#include <QWidget>

class AppState;
class QComboBox;
class QLineEdit;
class QPushButton;
class RemovableRowsView;
class RecentForeignApplication;
class Settings;

// The per-application style modes: one row per rule (application id, mode, remove), then a field
// for an application id with a button that takes the last other application in front, a mode
// choice and "添加". The rules live only in the setting; every change writes the whole map back
// and advances the history version. Main thread only.
class AppRulesEditor : public QWidget
{
    Q_OBJECT

public:
    AppRulesEditor(AppState& state, Settings& settings, RecentForeignApplication& recent, QWidget* parent = nullptr);

    // Rereads the rules and the skin.
    void reload();

    // The application id as it is stored: without surrounding white space. Empty means none.
    static QString normalisedId(const QString& typed);

private:
    void add();
    void remove(const QString& bundleId);
    void pickFront();
    void updateControls();

    AppState& m_state;
    Settings& m_settings;
    RecentForeignApplication& m_recent;
    RemovableRowsView* m_list;
    QLineEdit* m_bundleId;
    QComboBox* m_mode;
    QPushButton* m_add;
};
