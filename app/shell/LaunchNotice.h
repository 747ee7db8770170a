#pragma once

#include <QString>

#include <memory>

class QMessageBox;

// What a launch tells its user when it ends without acting, or runs otherwise than the user
// would expect: on stderr, and, when no terminal shows that (a start from the menu, an autostart,
// the browser handing a sign-in back), in a small window as well.
class LaunchNotice
{
public:
    explicit LaunchNotice(bool terminalAttached);
    ~LaunchNotice();

    // Returns once the user closed the window, if one was shown.
    void tell(const QString& text) const;
    // Without waiting: the window stays up while the program runs.
    void mention(const QString& text);

    // The window that shows text; none when a terminal shows it.
    std::unique_ptr<QMessageBox> window(const QString& text) const;

private:
    bool m_terminalAttached;
    std::unique_ptr<QMessageBox> m_mentioned;
};
