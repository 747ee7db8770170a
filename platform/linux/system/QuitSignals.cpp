#include "platform/linux/system/QuitSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the handler, which may do nothing but async-signal-safe calls; -1 when none is set.
volatile sig_atomic_t g_writeFd = -1;
struct sigaction g_previousTerm;
struct sigaction g_previousInt;

void onSignal(int signal)
{
    const int fd = g_writeFd;
    if (fd < 0)
        return;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe only loses a repeated request to quit, which the first one already made.
    [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
}

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return;
    g_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &g_previousTerm);
    sigaction(SIGINT, &action, &g_previousInt);
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    sigaction(SIGTERM, &g_previousTerm, nullptr);
    sigaction(SIGINT, &g_previousInt, nullptr);
    g_writeFd = -1;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void QuitSignals::readPending()
{
    unsigned char number = 0;
    while (::read(m_fds[1], &number, 1) == 1)
        Q_EMIT quitRequested(number);
}
