#pragma once

#include "app/desktop/MurmoPermission.h"
#include "app/ui/ThemePalette.h"

#include <QMap>
#include <QWidget>

class PermissionRow;
class PermissionsModel;
class QLabel;
class QPushButton;

// The first-run sheet: a welcome, one row per permission with its grant button, a relaunch offer
// while accessibility is missing, and the button that carries on, with or without the
// permissions. It polls the permissions while it is on screen.
class OnboardingView : public QWidget
{
    Q_OBJECT

public:
    // The sheet's size; it grows taller only when the desktop's fonts need more room.
    static constexpr QSize baseSize{460, 420};

    explicit OnboardingView(PermissionsModel& perms, QWidget* parent = nullptr);

    PermissionRow* row(MurmoPermission perm) const { return m_rows.value(perm); }
    QWidget* relaunchNote() const { return m_relaunchNote; }
    QPushButton* continueButton() const { return m_continue; }
    QLabel* bottomNote() const { return m_bottomNote; }

    void applyTheme();

    QSize sizeHint() const override;

Q_SIGNALS:
    void done();
    void requestGrant(MurmoPermission perm);
    void relaunchRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshTexts();
    QLabel* text(const QString& text, const QFont& font, ColorPair ThemePalette::*colour);
    bool granted(MurmoPermission perm) const;

    PermissionsModel& m_perms;
    QMap<MurmoPermission, PermissionRow*> m_rows;
    QList<QPair<QLabel*, ColorPair ThemePalette::*>> m_texts;
    QWidget* m_relaunchNote;
    QLabel* m_relaunchText;
    QPushButton* m_relaunch;
    QPushButton* m_continue;
    QLabel* m_bottomNote;
};
