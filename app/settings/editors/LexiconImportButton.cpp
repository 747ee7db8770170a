#include "app/settings/editors/LexiconImportButton.h"

#include "app/controller/AppState.h"
#include "app/settings/editors/EditorRows.h"
#include "app/settings/editors/LexiconImportFile.h"
#include "core/async/BulkPool.h"

#include <QCoroFuture>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QtConcurrent>

LexiconImportButton::LexiconImportButton(AppState& state, std::shared_ptr<Lexicon> lexicon, FileChooser chooser,
                                         QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_lexicon(std::move(lexicon))
    , m_chooser(chooser ? std::move(chooser) : FileChooser(&LexiconImportButton::chooseWithDialog))
    , m_button(new QPushButton(QStringLiteral("从文件批量导入…"), this))
    , m_result(EditorRows::caption(QString(), this))
{
    m_button->setObjectName(QStringLiteral("import"));
    m_button->setToolTip(kFormatHint);
    m_result->setObjectName(QStringLiteral("result"));
    m_result->setWordWrap(false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    layout->addWidget(m_result, 1);
    connect(m_button, &QPushButton::clicked, this, &LexiconImportButton::start);
}

QString LexiconImportButton::result() const
{
    return m_result->text();
}

void LexiconImportButton::reload()
{
    EditorRows::applyDimText(m_result);
}

QString LexiconImportButton::chooseWithDialog(QWidget* parent)
{
    return QFileDialog::getOpenFileName(parent, kFormatHint, QString(),
                                        QStringLiteral("文本或 CSV (*.txt *.csv *.text);;所有文件 (*)"));
}

void LexiconImportButton::start()
{
    if (m_importing)
        return;
    const QString path = m_chooser(this);
    if (path.isEmpty())
        return;
    m_importing = true;
    m_button->setEnabled(false);
    importFile(QPointer<LexiconImportButton>(this), m_lexicon, path);
}

QCoro::Task<void> LexiconImportButton::importFile(QPointer<LexiconImportButton> self, std::shared_ptr<Lexicon> lexicon,
                                                  QString path)
{
    // Reading, parsing and the one save of thousands of lines stay off the GUI thread; the
    // lexicon is shared, so it outlives the window if the window goes first.
    auto outcome = co_await QtConcurrent::run(&bulkPool(), &LexiconImportFile::import, lexicon, path);
    if (!self)
        co_return;
    self->m_importing = false;
    self->m_button->setEnabled(true);
    if (const auto* stored = std::get_if<LexiconImportFile::Outcome>(&outcome)) {
        self->m_result->setText(LexiconImportFile::resultLine(*stored));
        self->m_state.bumpHistoryVersion();
    } else {
        self->m_result->setText(std::get<LexiconImportFile::Refusal>(outcome).message);
    }
    Q_EMIT self->importFinished();
}
