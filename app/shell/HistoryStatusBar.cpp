#include "app/shell/HistoryStatusBar.h"

#include "app/ui/DesignFonts.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"
#include "app/ui/TwoLines.h"
#include "core/store/Lexicon.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The round accent badge with the microphone at the start of the bar.
class MicBadge : public QWidget
{
public:
    explicit MicBadge(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(30, 30);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::color(Theme::palette().accent));
        painter.drawEllipse(QRectF(rect()));
        SymbolIcon::paint(painter, QStringLiteral("mic.fill"), SymbolIcon::box(QRectF(rect()).center(), 14),
                          Theme::color(Theme::palette().onAccent));
    }
};

void colour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    widget->setPalette(colours);
}

} // namespace

HistoryStatusBar::HistoryStatusBar(QWidget* parent)
    : ThemedSurface(Kind::bar, parent)
    , m_hint(new QLabel(this))
    , m_lexicon(new QLabel(this))
    , m_status(new QLabel(this))
    , m_statusEffect(new QGraphicsOpacityEffect(m_status))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 11, 16, 11);
    row->setSpacing(10);
    row->addWidget(new MicBadge(this));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    m_hint->setFont(DesignFonts::callout());
    m_hint->setTextFormat(Qt::PlainText);
    m_lexicon->setFont(DesignFonts::caption());
    m_lexicon->setTextFormat(Qt::PlainText);
    texts->addWidget(m_hint);
    texts->addWidget(m_lexicon);
    row->addLayout(texts);
    // Status lines carry server and recogniser texts: plain text. The line has all the room the
    // hints leave, and two lines of it (the height of the hints beside it).
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFont(DesignFonts::caption());
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_status->setGraphicsEffect(m_statusEffect);
    row->addWidget(m_status, 1);
    m_fade.setDuration(fadeMs);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    m_fade.setStartValue(0.0);
    m_fade.setEndValue(1.0);
    connect(&m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_statusEffect->setOpacity(value.toReal()); });
    applyTheme();
}

QString HistoryStatusBar::triggerHint(bool hotkeysActive, const std::optional<Hotkey>& talk,
                                      const QString& recordTrigger)
{
    if (!hotkeysActive)
        return QStringLiteral("⚠️ 快捷键未生效 · 见上方提示");
    if (!talk)
        return QStringLiteral("未设置听写键 · 去设置里指定");
    if (recordTrigger == QStringLiteral("hold"))
        return QStringLiteral("按住 ") + talk->display() + QStringLiteral(" 听写");
    return QStringLiteral("按 ") + talk->display() + QStringLiteral(" 听写，再按一下出字");
}

void HistoryStatusBar::setHint(const QString& hint)
{
    m_hint->setText(hint);
}

void HistoryStatusBar::showLexicon(const Lexicon& lexicon)
{
    const auto line = [](qsizetype rules) {
        return QStringLiteral("词库已记住 ") + QString::number(rules) + QStringLiteral(" 条");
    };
    // The line keeps the room of its count from the start: when the count comes, only the line
    // is drawn again, and the window around it does not move.
    m_lexicon->setText(line(0));
    m_lexicon->setMinimumHeight(m_lexicon->sizeHint().height());
    // Nothing until the file has been read: the count would be wrong, and asking would wait.
    const auto count = [this, &lexicon, line] {
        m_lexicon->setText(lexicon.isLoaded() ? line(lexicon.ruleCount()) : QString());
    };
    count();
    connect(&lexicon, &Lexicon::changed, this, count);
}

void HistoryStatusBar::setStatusLine(const QString& line)
{
    if (line == m_statusLine)
        return;
    m_statusLine = line;
    elideStatus();
    m_fade.stop();
    m_fade.start();
}

void HistoryStatusBar::elideStatus()
{
    // A line too long for the room goes on to a second line rather than being cut, so that a
    // notice naming a file shows the name whole; only what two lines cannot hold is elided.
    m_status->setText(twoLines(m_statusLine, m_status->font(), m_status->width()).join(u'\n'));
    m_status->setToolTip(m_status->text() == m_statusLine ? QString() : m_statusLine);
}

void HistoryStatusBar::resizeEvent(QResizeEvent* event)
{
    ThemedSurface::resizeEvent(event);
    elideStatus();
}

void HistoryStatusBar::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    colour(m_hint, Theme::color(palette.text));
    colour(m_lexicon, Theme::color(palette.textFaint));
    colour(m_status, Theme::color(palette.textDim));
    update();
}
