#pragma once

#include <QCoroTask>
#include <QObject>
#include <QStringList>

class AppState;
class ServiceSelector;
class Settings;

// The custom writing rules the settings window edits: the user describes a habit in plain words,
// a language model turns it into one short rule, and the rule joins the list that every styling
// prompt carries. Main thread only.
class CustomWritingRules : public QObject
{
    Q_OBJECT

public:
    CustomWritingRules(AppState& state, Settings& settings, ServiceSelector& services, QObject* parent = nullptr);

    QStringList items() const;
    // Distils description into a rule of one short line and stores it. A failing model call is
    // not reported: the user's own words become the rule. A blank description does nothing.
    QCoro::Task<void> add(QString description);
    void remove(const QString& rule);

private:
    QCoro::Task<QString> distil(QString description);

    AppState& m_state;
    Settings& m_settings;
    ServiceSelector& m_services;
};
