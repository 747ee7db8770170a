#pragma once

#include "platform/Workspace.h"

#include <QObject>

#include <optional>

// The application the user was working in before coming to the settings window. Pressing a
// button in the settings window makes this program the front one, so "the front application"
// has to be the last one in front that was not this program. Main thread only.
class RecentForeignApplication : public QObject
{
    Q_OBJECT

public:
    explicit RecentForeignApplication(Workspace& workspace, QObject* parent = nullptr);

    // Looks at the front application now and remembers it unless it is this program. The owner
    // calls it from the workspace's active-window observer; without that, only the moments this
    // program loses the focus are noticed, and a quick return can be missed.
    void noteActiveWindow();
    // The front application when it is another program's, else the last other one noted.
    std::optional<RunningApplication> pick();

private:
    Workspace& m_workspace;
    std::optional<RunningApplication> m_last;
};
