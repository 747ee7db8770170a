#include "app/feedback/AnswerView.h"

#include "app/feedback/AnswerActionButton.h"
#include "app/feedback/AnswerModel.h"
#include "app/ui/BusySpinner.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

// A symbol of the program's icon set in a colour role of the current skin.
class SymbolLabel : public QWidget
{
public:
    SymbolLabel(QString name, qreal size, std::function<QColor()> colour, QWidget* parent)
        : QWidget(parent)
        , m_name(std::move(name))
        , m_size(size)
        , m_colour(std::move(colour))
    {
        setFixedSize(int(std::ceil(size)) + 2, int(std::ceil(size)) + 2);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        SymbolIcon::paint(painter, m_name, SymbolIcon::box(QRectF(rect()).center(), m_size), m_colour());
    }

private:
    QString m_name;
    qreal m_size;
    std::function<QColor()> m_colour;
};

class CloseButton : public QAbstractButton
{
public:
    explicit CloseButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setToolTip(QStringLiteral("关闭"));
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(22, 22);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const ThemePalette& palette = Theme::palette();
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::color(palette.hairline));
        painter.drawEllipse(QRectF(rect()));
        SymbolIcon::paint(painter, QStringLiteral("xmark"), SymbolIcon::box(QRectF(rect()).center(), 11),
                          Theme::color(palette.textDim));
    }
};

QString colourCss(const QColor& colour)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alphaF());
}

constexpr int headerSpacing = 8;
constexpr int closeSize = 22;
constexpr int sparklesWidth = 15;

} // namespace

AnswerView::AnswerView(AnswerModel* model, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setFixedSize(cardWidth, cardHeight);
    setAttribute(Qt::WA_TranslucentBackground);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(inset, inset, inset, inset);
    stack->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(headerSpacing);
    header->setAlignment(Qt::AlignTop);
    header->addWidget(new SymbolLabel(
                          QStringLiteral("sparkles"), 13, [] { return Theme::color(Theme::palette().violet); }, this),
                      0, Qt::AlignTop);
    m_question = new QLabel(this);
    m_question->setTextFormat(Qt::PlainText);
    m_question->setWordWrap(true);
    m_question->setFont(DesignFonts::font(12.5, QFont::Medium));
    m_question->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    header->addWidget(m_question, 1, Qt::AlignTop);
    header->addSpacing(4);
    m_close = new CloseButton(this);
    connect(m_close, &QAbstractButton::clicked, this, &AnswerView::closeClicked);
    header->addWidget(m_close, 0, Qt::AlignTop);
    stack->addLayout(header);

    auto* divider = new QWidget(this);
    divider->setFixedHeight(1);
    divider->setObjectName(QStringLiteral("divider"));
    stack->addWidget(divider);

    m_body = new QStackedWidget(this);
    stack->addWidget(m_body, 1);

    m_thinking = new QWidget(m_body);
    auto* thinkingRow = new QHBoxLayout(m_thinking);
    thinkingRow->setContentsMargins(0, 0, 0, 0);
    thinkingRow->setSpacing(8);
    thinkingRow->addWidget(new BusySpinner(m_thinking), 0, Qt::AlignTop);
    m_thinkingText = new QLabel(QStringLiteral("思考中…"), m_thinking);
    m_thinkingText->setFont(DesignFonts::font(12));
    thinkingRow->addWidget(m_thinkingText, 0, Qt::AlignTop);
    thinkingRow->addStretch(1);
    m_body->addWidget(m_thinking);

    m_scroll = new QScrollArea(m_body);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_answer = new QLabel;
    m_answer->setTextFormat(Qt::PlainText);
    m_answer->setWordWrap(true);
    m_answer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_answer->setFont(DesignFonts::font(13.5));
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_scroll->setWidget(m_answer);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_answer->setAutoFillBackground(false);
    m_body->addWidget(m_scroll);

    m_failed = new QWidget(m_body);
    auto* failedRow = new QHBoxLayout(m_failed);
    failedRow->setContentsMargins(0, 0, 0, 0);
    failedRow->setSpacing(8);
    failedRow->addWidget(new SymbolLabel(
                             QStringLiteral("exclamationmark.triangle.fill"), 13,
                             [] { return Theme::color(Theme::palette().red); }, m_failed),
                         0, Qt::AlignTop);
    m_failure = new QLabel(m_failed);
    m_failure->setTextFormat(Qt::PlainText);
    m_failure->setWordWrap(true);
    m_failure->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_failure->setFont(DesignFonts::font(12.5));
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    failedRow->addWidget(m_failure, 1, Qt::AlignTop);
    m_body->addWidget(m_failed);

    m_footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(m_footer);
    footerRow->setContentsMargins(0, 0, 0, 0);
    footerRow->setSpacing(10);
    footerRow->addStretch(1);
    m_copy = new CopyIconButton(
        CopyIconButton::Host::answerPopup, QStringLiteral("复制回答"),
        [this] { return m_model ? m_model->answer() : QString(); }, clock, m_footer);
    footerRow->addWidget(m_copy, 0, Qt::AlignVCenter);
    m_action = new AnswerActionButton(m_footer);
    connect(m_action, &QAbstractButton::clicked, this, &AnswerView::insertClicked);
    footerRow->addWidget(m_action, 0, Qt::AlignVCenter);
    stack->addWidget(m_footer);

    if (m_model)
        connect(m_model, &AnswerModel::changed, this, &AnswerView::refresh);
    refresh();
}

void AnswerView::setInserted(bool inserted)
{
    m_inserted = inserted;
    updateActionLook();
}

void AnswerView::setFellBackToCopy(bool fellBack)
{
    m_fellBackToCopy = fellBack;
    updateActionLook();
}

void AnswerView::setOpaque(bool opaque)
{
    m_opaque = opaque;
    update();
}

QWidget* AnswerView::currentBody() const
{
    return m_body->currentWidget();
}

QString AnswerView::headerText() const
{
    return m_question->text();
}

QString AnswerView::headerFor(const QString& question, const QFont& font, int width)
{
    const QString text = question.isEmpty() ? QStringLiteral("提问") : question;
    if (width <= 0)
        return text;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<QTextLine> lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(line);
        if (lines.size() > 2)
            break;
    }
    layout.endLayout();
    if (lines.size() <= 2)
        return text;
    // Two lines at most: the second keeps what fits and ends in an ellipsis.
    const QTextLine second = lines.at(1);
    const QString firstPart = text.left(second.textStart());
    const QString rest = text.mid(second.textStart()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics metrics(font);
    return firstPart + metrics.elidedText(rest, Qt::ElideRight, width);
}

void AnswerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ThemePalette& palette = Theme::palette();
    const QRectF card = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    QPainterPath path;
    path.addRoundedRect(card, cornerRadius, cornerRadius);
    QColor fill = Theme::color(palette.bgCard);
    if (!m_opaque)
        fill.setAlphaF(Theme::isDark() ? 0.90f : 0.94f);
    else
        fill.setAlphaF(1.0f);
    painter.fillPath(path, fill);
    // The card's tint: a faint wash of the accent over the material.
    QColor tint = Theme::color(palette.accent);
    tint.setAlphaF(0.04f);
    painter.fillPath(path, tint);
    painter.setPen(QPen(Theme::color(palette.hairline), 0.5));
    painter.drawPath(path);
}

void AnswerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    refresh();
}

void AnswerView::refresh()
{
    if (!m_model)
        return;
    applyColours();
    const int questionWidth = m_question->width() > 0 && layout() && !layout()->isEmpty() && isVisible()
                                  ? m_question->width()
                                  : cardWidth - 2 * inset - sparklesWidth - 3 * headerSpacing - 4 - closeSize;
    m_question->setText(headerFor(m_model->question(), m_question->font(), questionWidth));
    switch (m_model->phase()) {
    case AnswerModel::Phase::thinking:
        m_body->setCurrentWidget(m_thinking);
        break;
    case AnswerModel::Phase::answer:
        m_answer->setText(m_model->answer());
        m_body->setCurrentWidget(m_scroll);
        break;
    case AnswerModel::Phase::failed:
        m_failure->setText(m_model->answer());
        m_body->setCurrentWidget(m_failed);
        break;
    }
    m_footer->setVisible(m_model->phase() == AnswerModel::Phase::answer);
    updateActionLook();
    update();
}

void AnswerView::applyColours()
{
    const ThemePalette& palette = Theme::palette();
    const QString dim = colourCss(Theme::color(palette.textDim));
    m_question->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(dim));
    m_thinkingText->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(dim));
    m_failure->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(dim));
    m_answer->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(colourCss(Theme::color(palette.text))));
    m_scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    if (QWidget* divider = findChild<QWidget*>(QStringLiteral("divider")))
        divider->setStyleSheet(QStringLiteral("background: %1;").arg(colourCss(Theme::color(palette.hairline))));
}

void AnswerView::updateActionLook()
{
    using Look = AnswerActionButton::Look;
    m_action->setLook(m_inserted ? Look::inserted : m_fellBackToCopy ? Look::copiedInstead : Look::insert);
}
