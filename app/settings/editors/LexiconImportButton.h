#pragma once

#include "core/store/Lexicon.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class AppState;
class QLabel;
class QPushButton;

// "从文件批量导入…": the user picks a text or CSV file of rules and hotwords, it is imported off
// the GUI thread, and the line beside the button tells what was stored or why nothing was.
// Advances the history version after an import. Main thread only.
class LexiconImportButton : public QWidget
{
    Q_OBJECT

public:
    // Asks the user for a file; empty when they cancel. Tests give one that opens no dialog.
    using FileChooser = std::function<QString(QWidget* parent)>;

    static inline const QString kFormatHint =
        QStringLiteral("每行一条：『错词->正确词』是纠错规则；单个词是要优先认的词；# 开头为注释");

    LexiconImportButton(AppState& state, std::shared_ptr<Lexicon> lexicon, FileChooser chooser = {},
                        QWidget* parent = nullptr);

    QString result() const;
    bool isImporting() const { return m_importing; }
    // Rereads the skin.
    void reload();

    // The system's open dialog, for text and CSV files.
    static QString chooseWithDialog(QWidget* parent);

Q_SIGNALS:
    // An import ended, stored or refused; result() tells.
    void importFinished();

private:
    void start();
    static QCoro::Task<void> importFile(QPointer<LexiconImportButton> self, std::shared_ptr<Lexicon> lexicon,
                                        QString path);

    AppState& m_state;
    std::shared_ptr<Lexicon> m_lexicon;
    FileChooser m_chooser;
    QPushButton* m_button;
    QLabel* m_result;
    bool m_importing = false;
};
