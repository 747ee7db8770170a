#include "app/settings/editors/StyleProfileView.h"

#include "app/controller/AppState.h"
#include "app/settings/editors/EditorRows.h"
#include "core/store/StyleProfile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

StyleProfileView::StyleProfileView(AppState& state, StyleProfile& profile, Refresh refresh, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_profile(profile)
    , m_refresh(std::move(refresh))
    , m_empty(EditorRows::caption(QStringLiteral("Murmo会从你的校对里总结你的用词习惯，整理时照着写。在历史里校对满 3 "
                                                 "条后，点「立即提炼」生成。"),
                                  this))
    , m_text(new QLabel(this))
    , m_updated(EditorRows::caption(QString(), this))
    , m_refreshButton(new QPushButton(QStringLiteral("立即提炼"), this))
    , m_answer(EditorRows::caption(QString(), this))
{
    m_answer->setObjectName(QStringLiteral("answer"));
    m_answer->hide();
    m_empty->setObjectName(QStringLiteral("empty"));
    m_text->setObjectName(QStringLiteral("profile"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setFont(EditorRows::itemFont());
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_updated->setObjectName(QStringLiteral("updated"));
    m_refreshButton->setObjectName(QStringLiteral("refresh"));
    auto* clear = new QPushButton(QStringLiteral("清除画像"), this);
    clear->setObjectName(QStringLiteral("clear"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_refreshButton);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_empty);
    layout->addWidget(m_text);
    layout->addWidget(m_updated);
    layout->addLayout(buttons);
    layout->addWidget(m_answer);

    connect(m_refreshButton, &QPushButton::clicked, this, &StyleProfileView::startRefresh);
    connect(clear, &QPushButton::clicked, this, &StyleProfileView::clearProfile);
    connect(&state, &AppState::historyVersionChanged, this, &StyleProfileView::reload);
    reload();
}

void StyleProfileView::reload()
{
    // Any character counts as a profile, blanks included: that is what the styler is given.
    const QString text = m_profile.profileText();
    m_empty->setVisible(text.isEmpty());
    m_text->setVisible(!text.isEmpty());
    m_text->setText(text);
    const std::optional<QDateTime> updatedAt = m_profile.updatedAt();
    m_updated->setVisible(!text.isEmpty() && updatedAt.has_value());
    if (updatedAt) {
        const QLocale locale;
        m_updated->setText(QStringLiteral("更新于 %1 · 样本 %2 条")
                               .arg(locale.toString(updatedAt->toLocalTime(), QLocale::ShortFormat))
                               .arg(m_profile.sampleCount()));
    }
    EditorRows::applyDimText(m_empty);
    EditorRows::applyDimText(m_updated);
    EditorRows::applyDimText(m_answer);
    m_refreshButton->setEnabled(!m_refreshing);
}

void StyleProfileView::startRefresh()
{
    if (m_refreshing || !m_refresh)
        return;
    // One distillation at a time: a second press would send the same samples again.
    m_refreshing = true;
    m_refreshButton->setEnabled(false);
    awaitRefresh(QPointer<StyleProfileView>(this), m_refresh());
    showAnswer();
}

void StyleProfileView::showAnswer()
{
    m_answer->setText(m_state.statusLine());
    m_answer->setVisible(!m_answer->text().isEmpty());
}

QCoro::Task<void> StyleProfileView::awaitRefresh(QPointer<StyleProfileView> self, QCoro::Task<void> task)
{
    try {
        co_await std::move(task);
    } catch (...) {
        // The controller reports a failed distillation on its status line; the view only waits.
    }
    if (!self)
        co_return;
    // The controller's answer is the status line it has just set.
    self->showAnswer();
    self->m_refreshing = false;
    self->reload();
}

void StyleProfileView::clearProfile()
{
    m_profile.reset();
    m_state.bumpHistoryVersion();
}
