#pragma once

#include "app/desktop/MurmoPermission.h"

#include <QWidget>

class QLabel;
class QPushButton;
class SymbolView;

// One permission with its state: granted shows "已授权", otherwise a grant button that asks the
// owner to request it, and under the explanation what the owner says came of it (where to turn
// the permission on when no settings program opened). Shared by the first-run sheet and the
// settings window.
class PermissionRow : public QWidget
{
    Q_OBJECT

public:
    PermissionRow(MurmoPermission perm, bool granted, QWidget* parent = nullptr);

    MurmoPermission perm() const { return m_perm; }
    bool granted() const { return m_granted; }
    void setGranted(bool granted);
    // Empty hides it; granting hides it too.
    void setHint(const QString& hint);
    QLabel* hint() const { return m_hint; }
    QPushButton* grantButton() const { return m_grant; }
    QWidget* grantedLabel() const { return m_grantedLabel; }
    QLabel* explanation() const { return m_explanation; }

    void applyTheme();

Q_SIGNALS:
    void requestGrant(MurmoPermission perm);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MurmoPermission m_perm;
    bool m_granted;
    SymbolView* m_symbol;
    QLabel* m_title;
    QLabel* m_explanation;
    QLabel* m_hint;
    QWidget* m_grantedLabel;
    QLabel* m_grantedText;
    QPushButton* m_grant;
};
