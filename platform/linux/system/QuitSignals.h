#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a signal of the event loop, so that the program quits through
// its normal shutdown (the ducked output volume is given back, the stores are written, the
// keyboard is ungrabbed) instead of dying wherever the process stood. The composition root
// connects quitRequested to QCoreApplication::quit.
//
// At most one instance, created on the main thread; the previous dispositions of both signals
// come back when it is destroyed.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // False when the handlers could not be installed (no socket pair); the signals then kill the
    // process as before.
    bool isInstalled() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // On the main thread, once per delivered signal, with its number.
    void quitRequested(int signal);

private:
    void readPending();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
