#pragma once

#include <QCoroTask>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <vector>

class StoreSaving;
class QWidget;

// Holds the program's end back while a store (the history, the lexicon) holds what its file lacks (a
// full disk). Every way of quitting asks the application to quit, which comes here first: each
// store is written once more, a change still on its way in included, waited for on a worker, and
// when the disk still refuses one the user is told and may keep the program running until it is on
// disk (it then ends by itself) or end it anyway. Main thread only.
class QuitGuard : public QObject
{
    Q_OBJECT

public:
    // The question's title and text, naming the stores whose files lack something.
    static QString titleFor(const QStringList& names);
    static QString textFor(const QStringList& unsaved);
    static inline const QString kDetail =
        QStringLiteral("腾出磁盘空间后Murmo会自动保存。保持运行的话，存好后会自动退出。");
    static inline const QString kKeepRunning = QStringLiteral("保持运行，存好后退出");
    static inline const QString kQuitAnyway = QStringLiteral("仍然退出");

    // quit ends the program once nothing is at stake (QCoreApplication::quit for the program);
    // dialogParent gives the window the question is asked over, or none.
    QuitGuard(std::vector<StoreSaving*> savings, std::function<void()> quit, std::function<QWidget*()> dialogParent,
              QObject* parent = nullptr);

    // From now on the application's quit requests come here first.
    void watch(QObject& application);

    enum class Outcome
    {
        Ending,
        // The user is asked whether to wait for the history; the program runs on meanwhile.
        Asking,
    };
    Q_ENUM(Outcome)
    // Asks the watched application to quit, as Ctrl+Q does, and tells what came of it once that
    // is known (at once, or when the history has been tried): for a quit asked for from outside,
    // whose asker is told. Told before the event loop gets back control, which may then end.
    void requestQuit(std::function<void(Outcome)> told);

    // The question while it is asked.
    QMessageBox* dialog() const { return m_dialog; }
    // The user chose to keep the program running until every store is on disk.
    bool quitsWhenSaved() const { return m_quitWhenSaved; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QCoro::Task<void> check();
    void ask(const std::vector<StoreSaving*>& unsaved);
    bool anyFailing() const;
    void quitNow();
    void tellOutcome();

    const std::vector<StoreSaving*> m_savings;
    std::function<void()> m_quit;
    std::function<QWidget*()> m_dialogParent;
    QObject* m_application = nullptr;
    QPointer<QMessageBox> m_dialog;
    bool m_checking = false;
    bool m_quitWhenSaved = false;
    bool m_quitting = false;
    // The requests whose outcome is not known yet.
    std::vector<std::function<void(Outcome)>> m_told;
};
