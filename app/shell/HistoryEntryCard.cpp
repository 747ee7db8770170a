#include "app/shell/HistoryEntryCard.h"

#include "app/shell/ChipLabel.h"
#include "app/shell/EntryAction.h"
#include "app/shell/HistoryIconButton.h"
#include "app/shell/ShellButtons.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/MurmoCardModifier.h"
#include "app/ui/Theme.h"
#include "app/ui/WrappingText.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    colours.setColor(QPalette::Text, colour);
    colours.setColor(QPalette::ButtonText, colour);
    widget->setPalette(colours);
}

// Outside text: shown as it is, never interpreted as markup.
QLabel* plainLabel(const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

} // namespace

HistoryEntryCard::HistoryEntryCard(Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_clock(clock)
    , m_text(new WrappingText(this))
    , m_source(plainLabel(DesignFonts::caption(), this))
{
    // The list's viewport would hand its children the base background role, and with it the text
    // role of an item view; a card's labels draw in the window text role like every other label.
    setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(MurmoCardModifier::contentMargins());
    column->setSpacing(10);

    // A long address or number run wraps inside itself rather than run off the card.
    m_text->setFont(DesignFonts::body());
    column->addWidget(m_text);

    // The editor comes when the card first edits (below the text): most cards never do, and
    // the cards of the first window would all pay for one.
    column->addWidget(buildMetaRow());

    m_source->setWordWrap(true);
    m_source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_source);

    m_fade.setDuration(actionFadeMs);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_actionsEffect->setOpacity(value.toReal()); });
    applyTheme();
}

QWidget* HistoryEntryCard::buildMetaRow()
{
    auto* meta = new QWidget(this);
    auto* row = new QHBoxLayout(meta);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_time = plainLabel(DesignFonts::caption2(), meta);
    m_actionChip = new ChipLabel(meta);
    m_actionChip->setFont(DesignFonts::caption2(QFont::DemiBold));
    m_modeChip = new ChipLabel(meta);
    m_modeChip->setFont(DesignFonts::caption2(QFont::Medium));
    row->addWidget(m_time);
    row->addWidget(m_actionChip);
    row->addWidget(m_modeChip);
    m_cutChip = new ChipLabel(meta);
    m_cutChip->setFont(DesignFonts::caption2(QFont::Medium));
    m_cutChip->hide();
    row->addWidget(m_cutChip);
    row->addStretch(1);

    m_actions = new QWidget(meta);
    auto* actions = new QHBoxLayout(m_actions);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(8);
    m_play = new HistoryIconButton(QStringLiteral("play.fill"), QStringLiteral("播放原始录音"), &ThemePalette::textDim,
                                   m_actions);
    m_reveal = new HistoryIconButton(QStringLiteral("folder"), QStringLiteral("在文件管理器中显示录音"),
                                     &ThemePalette::textDim, m_actions);
    m_retranscribe = new HistoryIconButton(QStringLiteral("arrow.clockwise"), QStringLiteral("用原始录音重新识别"),
                                           &ThemePalette::textDim, m_actions);
    m_copy = new CopyIconButton(
        CopyIconButton::Host::historyRow, QStringLiteral("复制文本"), [this] { return m_entry.finalText; }, m_clock,
        m_actions);
    m_correct = new QToolButton(m_actions);
    m_correct->setAutoRaise(true);
    m_correct->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_correct->setFont(DesignFonts::callout());
    m_correct->setCursor(Qt::PointingHandCursor);
    for (QWidget* button :
         {static_cast<QWidget*>(m_play), static_cast<QWidget*>(m_reveal), static_cast<QWidget*>(m_retranscribe),
          static_cast<QWidget*>(m_copy), static_cast<QWidget*>(m_correct)})
        actions->addWidget(button);
    row->addWidget(m_actions);
    m_actionsEffect = new QGraphicsOpacityEffect(m_actions);
    m_actionsEffect->setOpacity(0.0);
    m_actions->setGraphicsEffect(m_actionsEffect);

    connect(m_play, &QAbstractButton::clicked, this, [this] {
        if (m_look.playing)
            Q_EMIT stopRequested();
        else if (m_look.audioPath)
            Q_EMIT playRequested(m_entry, *m_look.audioPath);
    });
    connect(m_reveal, &QAbstractButton::clicked, this, [this] {
        if (m_look.audioPath)
            Q_EMIT revealRequested(*m_look.audioPath);
    });
    connect(m_retranscribe, &QAbstractButton::clicked, this, [this] { Q_EMIT retranscribeRequested(m_entry); });
    connect(m_correct, &QToolButton::clicked, this, [this] {
        if (m_look.editing)
            Q_EMIT saveRequested(m_entry, m_editor->toPlainText());
        else
            Q_EMIT editRequested(m_entry);
    });
    return meta;
}

QPlainTextEdit* HistoryEntryCard::ensureEditor()
{
    if (m_editor)
        return m_editor;
    m_editor = new QPlainTextEdit(this);
    m_editor->setFont(DesignFonts::body());
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setTabChangesFocus(true);
    m_editor->document()->setDocumentMargin(8);
    m_editor->hide();
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        fitEditor();
        if (m_look.editing)
            Q_EMIT editTextChanged(m_editor->toPlainText());
    });
    static_cast<QVBoxLayout*>(layout())->insertWidget(layout()->indexOf(m_text) + 1, m_editor);
    return m_editor;
}

void HistoryEntryCard::bind(const HistoryEntry& entry, const Look& look)
{
    const bool sameEntry = entry.id == m_entry.id && !m_entry.id.isNull();
    const bool wasEditing = sameEntry && m_look.editing;
    m_entry = entry;
    m_look = look;

    m_text->setText(entry.finalText);
    m_text->setVisible(!look.editing);
    // The editor belongs to the list's state: it is filled when it opens (or when this card
    // starts showing the edited entry) and otherwise left alone, so typing is never overwritten.
    if (look.editing && (!m_editor || !wasEditing || m_editor->toPlainText() != look.editText)) {
        QPlainTextEdit* editor = ensureEditor();
        const QSignalBlocker quiet(editor);
        editor->setPlainText(look.editText);
        editor->moveCursor(QTextCursor::End);
    }
    if (m_editor)
        m_editor->setVisible(look.editing);
    fitEditor();

    m_time->setText(QLocale().toString(entry.timestamp.toLocalTime().time(), QLocale::ShortFormat));
    m_actionChip->setText(EntryAction::actionName(entry));
    m_modeChip->setText(EntryAction::modeName(entry.modeId));
    m_modeChip->setVisible(EntryAction::showsMode(entry));
    m_cutChip->setVisible(entry.cutAt.has_value());
    if (entry.cutAt)
        m_cutChip->setText(HistoryEntry::cutText(*entry.cutAt));

    const bool hasAudio = look.audioPath.has_value();
    m_play->setVisible(hasAudio);
    m_reveal->setVisible(hasAudio);
    m_retranscribe->setVisible(hasAudio);
    // A placeholder is nothing the user said: there is no text to copy yet.
    m_copy->setVisible(!HistoryEntry::isPlaceholder(entry.finalText));
    if (look.playing)
        m_play->setLook(QStringLiteral("stop.fill"), QStringLiteral("停止播放"), &ThemePalette::accent);
    else
        m_play->setLook(QStringLiteral("play.fill"), QStringLiteral("播放原始录音"), &ThemePalette::textDim);
    m_correct->setText(look.editing ? QStringLiteral("保存并学习") : QStringLiteral("校对"));

    const bool showSource = !look.editing && !entry.asrText.isEmpty() && entry.asrText != entry.finalText;
    m_source->setVisible(showSource);
    if (showSource)
        m_source->setText(EntryAction::sourceLabel(entry) + QStringLiteral(": ") + entry.asrText);

    showActions(look.hovered || look.editing, sameEntry);
    applyTheme();
}

void HistoryEntryCard::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    setTextColour(m_text, Theme::color(palette.text));
    if (m_editor) {
        setTextColour(m_editor, Theme::color(palette.text));
        // The editor's rounded field is painted by the card; the editor itself stays see-through.
        QPalette editorColours = m_editor->palette();
        editorColours.setColor(QPalette::Base, Qt::transparent);
        m_editor->setPalette(editorColours);
    }
    setTextColour(m_time, Theme::color(palette.textFaint));
    setTextColour(m_source, Theme::color(palette.textFaint));
    ShellButtons::applyTheme(m_correct);
    setTextColour(m_correct, Theme::color(palette.accent));
    const QColor action = Theme::color(EntryAction::actionColor(m_entry));
    m_actionChip->setColours(action, Theme::color(EntryAction::actionColor(m_entry), 0.15, 0.15));
    m_modeChip->setColours(Theme::color(palette.accent), Theme::softAccent());
    m_cutChip->setColours(Theme::color(palette.red), Theme::color(palette.red, 0.15, 0.15));
    update();
}

qreal HistoryEntryCard::actionsOpacity() const
{
    return m_actionsEffect->opacity();
}

void HistoryEntryCard::showActions(bool shown, bool animate)
{
    const qreal target = shown ? 1.0 : 0.0;
    if (!animate) {
        m_fade.stop();
        m_actionsEffect->setOpacity(target);
        return;
    }
    if (qFuzzyCompare(m_fade.endValue().toReal() + 1, target + 1) && m_fade.state() == QAbstractAnimation::Running)
        return;
    if (qFuzzyCompare(m_actionsEffect->opacity() + 1, target + 1))
        return;
    m_fade.stop();
    m_fade.setStartValue(m_actionsEffect->opacity());
    m_fade.setEndValue(target);
    m_fade.start();
}

void HistoryEntryCard::fitEditor()
{
    if (!m_look.editing || !m_editor)
        return;
    // The editor grows with its text instead of scrolling inside the card; its width follows the
    // card's, which the list sets before it binds.
    const QMargins margins = MurmoCardModifier::contentMargins();
    const int margin = int(m_editor->document()->documentMargin());
    const int textWidth = std::max(40, width() - margins.left() - margins.right() - 2 * margin - 6);
    const QString text = m_editor->toPlainText().isEmpty() ? QStringLiteral(" ") : m_editor->toPlainText();
    const QRect needed =
        QFontMetrics(m_editor->font()).boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap, text);
    const int height = needed.height() + 2 * margin + 6;
    if (m_editor->height() != height)
        m_editor->setFixedHeight(height);
}

void HistoryEntryCard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitEditor();
}

void HistoryEntryCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    MurmoCardModifier(Theme::isDark()).paint(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    if (m_editor && m_editor->isVisibleTo(this)) {
        QPainterPath field;
        field.addRoundedRect(QRectF(m_editor->geometry()), editorRadius, editorRadius);
        painter.fillPath(field, Theme::softAccent());
    }
}

void HistoryEntryCard::enterEvent(QEnterEvent* event)
{
    Q_EMIT hoverChanged(m_entry.id, true);
    QWidget::enterEvent(event);
}

void HistoryEntryCard::leaveEvent(QEvent* event)
{
    Q_EMIT hoverChanged(m_entry.id, false);
    QWidget::leaveEvent(event);
}
