#include "app/shell/QuitGuard.h"

#include "app/shell/StoreSaving.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <utility>

QuitGuard::QuitGuard(std::vector<StoreSaving*> savings, std::function<void()> quit,
                     std::function<QWidget*()> dialogParent, QObject* parent)
    : QObject(parent)
    , m_savings(std::move(savings))
    , m_quit(std::move(quit))
    , m_dialogParent(std::move(dialogParent))
{
    // A later retry that gets the last store through ends a quit the user only put off.
    for (StoreSaving* saving : m_savings) {
        connect(saving, &StoreSaving::failingChanged, this, [this](bool failing) {
            if (!failing && !anyFailing() && (m_quitWhenSaved || m_dialog))
                quitNow();
        });
    }
}

QString QuitGuard::titleFor(const QStringList& names)
{
    return names.join(QStringLiteral("和")) + QStringLiteral("还没存好");
}

QString QuitGuard::textFor(const QStringList& unsaved)
{
    return QStringLiteral("有") + unsaved.join(QStringLiteral("和")) +
           QStringLiteral("没能写进磁盘（磁盘可能已满），现在退出它们会丢失。");
}

bool QuitGuard::anyFailing() const
{
    return std::any_of(m_savings.cbegin(), m_savings.cend(), [](const StoreSaving* s) { return s->isFailing(); });
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
    // Every store is tried at once; each is awaited in turn.
    std::vector<QCoro::Task<bool>> tries;
    for (StoreSaving* saving : m_savings)
        tries.push_back(saving->saveInBackground());
    std::vector<StoreSaving*> unsaved;
    for (std::size_t i = 0; i < tries.size(); ++i) {
        const bool saved = co_await std::move(tries[i]);
        if (!self)
            co_return;
        if (!saved)
            unsaved.push_back(m_savings[i]);
    }
    m_checking = false;
    if (unsaved.empty())
        quitNow();
    else if (!m_quitting)
        ask(unsaved);
}

void QuitGuard::ask(const std::vector<StoreSaving*>& unsaved)
{
    QStringList names;
    QStringList lost;
    for (const StoreSaving* saving : unsaved) {
        names.append(saving->texts().name);
        lost.append(saving->texts().unsaved);
    }
    auto* dialog = new QMessageBox(QMessageBox::Warning, titleFor(names), textFor(lost), QMessageBox::NoButton,
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
