#include "app/shell/QuitGuard.h"

#include "app/shell/HistorySaving.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

QuitGuard::QuitGuard(HistorySaving& saving, std::function<void()> quit, std::function<QWidget*()> dialogParent,
                     QObject* parent)
    : QObject(parent)
    , m_saving(saving)
    , m_quit(std::move(quit))
    , m_dialogParent(std::move(dialogParent))
{
    // A later retry that gets through ends a quit the user only put off.
    connect(&m_saving, &HistorySaving::failingChanged, this, [this](bool failing) {
        if (!failing && (m_quitWhenSaved || m_dialog))
            quitNow();
    });
}

void QuitGuard::watch(QObject& application)
{
    m_application = &application;
    application.installEventFilter(this);
}

bool QuitGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_application || event->type() != QEvent::Quit || m_quitting)
        return false;
    // Asked again while the question is open or the disk is being tried: one answer serves.
    if (m_dialog)
        m_dialog->raise();
    else if (!m_checking)
        check();
    return true;
}

void QuitGuard::requestQuit(std::function<void(Outcome)> told)
{
    m_told.push_back(std::move(told));
    if (!m_application) {
        quitNow();
    } else if (!m_quitting) {
        // Held here while the history is tried, or let through to end the event loop.
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(m_application, &quit);
    }
    if (!m_checking)
        tellOutcome();
}

void QuitGuard::tellOutcome()
{
    const Outcome outcome = m_dialog && !m_quitting ? Outcome::Asking : Outcome::Ending;
    for (const auto& told : std::exchange(m_told, {}))
        told(outcome);
}

QCoro::Task<void> QuitGuard::check()
{
    m_checking = true;
    QPointer<QuitGuard> self(this);
    const bool saved = co_await m_saving.saveInBackground();
    if (!self)
        co_return;
    m_checking = false;
    if (saved)
        quitNow();
    else if (!m_quitting)
        ask();
}

void QuitGuard::ask()
{
    auto* dialog = new QMessageBox(QMessageBox::Warning, kTitle, kText, QMessageBox::NoButton,
                                   m_dialogParent ? m_dialogParent() : nullptr);
    dialog->setInformativeText(kDetail);
    dialog->setTextFormat(Qt::PlainText);
    QPushButton* keep = dialog->addButton(kKeepRunning, QMessageBox::AcceptRole);
    QPushButton* quit = dialog->addButton(kQuitAnyway, QMessageBox::DestructiveRole);
    dialog->setDefaultButton(keep);
    dialog->setEscapeButton(keep);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog = dialog;
    connect(dialog, &QMessageBox::buttonClicked, this, [this, quit](QAbstractButton* button) {
        if (button == quit)
            quitNow();
        else
            m_quitWhenSaved = true;
    });
    // Modal to its window only: the event loop, the hotkeys and the retries go on.
    dialog->open();
    tellOutcome();
}

void QuitGuard::quitNow()
{
    if (std::exchange(m_quitting, true))
        return;
    if (m_dialog)
        m_dialog->close();
    m_quit();
    tellOutcome();
}
