#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class CapsuleButton;

// One capsule per built-in style mode; the chosen one is filled with the accent. It only edits its
// selection: the owner stores it and decides what a change means. A selection that names no
// built-in mode is allowed and shows no capsule chosen.
class ModeCapsulePicker : public QWidget
{
    Q_OBJECT

public:
    explicit ModeCapsulePicker(QWidget* parent = nullptr);

    QString selection() const { return m_selection; }
    // Shows selection without announcing it.
    void setSelection(const QString& selection);

    const QList<CapsuleButton*>& capsules() const { return m_capsules; }

Q_SIGNALS:
    // The user pressed a capsule, also the one already chosen.
    void picked(const QString& modeId);

private:
    QString m_selection;
    QList<CapsuleButton*> m_capsules;
    QStringList m_ids;
};
