#include "app/ui/CopyIconButton.h"

#include "app/ui/PressableIconStyle.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"
#include "platform/Clock.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace {

// The symbols are drawn from our own artwork, whose stroke weight is fixed; only the size varies
// with the look.
qreal symbolSizeOf(CopyIconButton::Host host)
{
    switch (host) {
    case CopyIconButton::Host::historyRow:
        return 13;
    case CopyIconButton::Host::overlayDone:
        return 12;
    case CopyIconButton::Host::answerPopup:
        return 11;
    }
    return 12;
}

QFont titleFont()
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    return font;
}

constexpr int popupSpacing = 5;
constexpr int popupInsetX = 12;
constexpr int popupInsetY = 7;

} // namespace

CopyIconButton::CopyIconButton(Host host, const QString& help, std::function<QString()> text, Clock& clock,
                               QWidget* parent)
    : QAbstractButton(parent)
    , m_host(host)
    , m_text(std::move(text))
    , m_clock(clock)
{
    setToolTip(help);
    // The symbol is all it shows: a screen reader would otherwise announce a nameless button.
    setAccessibleName(help);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover, host == Host::historyRow);
    if (host == Host::historyRow)
        m_pressable = new PressableIconStyle(this);
    m_swap.setDuration(swapMs);
    m_swap.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_swap, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_swapAmount = v.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, &CopyIconButton::doCopy);
    setFixedSize(sizeHint());
}

QString CopyIconButton::symbolName() const
{
    return m_copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc");
}

QString CopyIconButton::title() const
{
    if (m_host != Host::answerPopup)
        return {};
    return m_copied ? QStringLiteral("已复制") : QStringLiteral("复制");
}

QSize CopyIconButton::sizeHint() const
{
    if (m_host != Host::answerPopup)
        return {28, 28};
    // Wide enough for the longer title, so the capsule keeps its size when the title changes.
    const QFontMetricsF metrics(titleFont());
    const qreal titleWidth = std::max(metrics.horizontalAdvance(QStringLiteral("复制")),
                                      metrics.horizontalAdvance(QStringLiteral("已复制")));
    const qreal symbol = SymbolIcon::box({}, symbolSizeOf(m_host)).width();
    const qreal width = popupInsetX * 2 + symbol + popupSpacing + titleWidth;
    const qreal height = popupInsetY * 2 + std::max(symbol, metrics.height());
    return QSizeF(width, height).toSize() + QSize(1, 1);
}

void CopyIconButton::doCopy()
{
    const QString s = m_text ? m_text() : QString();
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(s);
    }
    setCopied(true);
    const int seq = ++m_revertSeq;
    QPointer<CopyIconButton> self(this);
    m_clock.schedule(revertDelay, [self, seq] {
        // A later tap owns the revert.
        if (self && self->m_revertSeq == seq)
            self->setCopied(false);
    });
}

void CopyIconButton::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    m_swap.stop();
    m_swap.setStartValue(m_swapAmount);
    m_swap.setEndValue(copied ? 1.0 : 0.0);
    m_swap.start();
    update();
}

QColor CopyIconButton::symbolColour(bool copied) const
{
    const ThemePalette& p = Theme::palette();
    if (copied)
        return Theme::color(p.green);
    switch (m_host) {
    case Host::historyRow:
        return Theme::color(p.textDim);
    case Host::overlayDone:
        return Theme::color(p.accent);
    case Host::answerPopup:
        return Theme::color(p.violet);
    }
    return Theme::color(p.text);
}

void CopyIconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    const ThemePalette& p = Theme::palette();
    const qreal symbolSize = symbolSizeOf(m_host);

    switch (m_host) {
    case Host::historyRow: {
        if (m_hovering) {
            QPainterPath shape;
            shape.addRoundedRect(bounds, 7, 7);
            painter.fillPath(shape, Theme::color(p.hairline));
        }
        if (m_pressable)
            m_pressable->apply(painter, bounds);
        break;
    }
    case Host::overlayDone: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::softAccent());
        painter.drawEllipse(bounds);
        break;
    }
    case Host::answerPopup: {
        QPainterPath capsule;
        capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
        QColor fill = Theme::color(p.violet);
        fill.setAlphaF(0.14f);
        painter.fillPath(capsule, fill);
        break;
    }
    }

    // The finished state draws fully; between the two, the old symbol fades as the new one comes.
    const qreal amount = m_swap.state() == QAbstractAnimation::Running ? m_swapAmount : (m_copied ? 1.0 : 0.0);
    QRectF symbolRect;
    QRectF titleRect;
    if (m_host == Host::answerPopup) {
        const qreal side = SymbolIcon::box({}, symbolSize).width();
        symbolRect = QRectF(popupInsetX, (bounds.height() - side) / 2, side, side);
        titleRect = QRectF(symbolRect.right() + popupSpacing, 0, bounds.width() - symbolRect.right() - popupSpacing,
                           bounds.height());
    } else {
        symbolRect = SymbolIcon::box(bounds.center(), symbolSize);
    }
    const qreal baseOpacity = painter.opacity();
    if (amount < 1.0) {
        painter.setOpacity(baseOpacity * (1.0 - amount));
        SymbolIcon::paint(painter, QStringLiteral("doc.on.doc"), symbolRect, symbolColour(false));
    }
    if (amount > 0.0) {
        painter.setOpacity(baseOpacity * amount);
        SymbolIcon::paint(painter, QStringLiteral("checkmark"), symbolRect, symbolColour(true));
    }
    painter.setOpacity(baseOpacity);
    if (m_host == Host::answerPopup) {
        painter.setFont(titleFont());
        painter.setPen(symbolColour(m_copied));
        painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title());
    }
}

void CopyIconButton::enterEvent(QEnterEvent* event)
{
    if (m_host == Host::historyRow) {
        m_hovering = true;
        update();
    }
    QAbstractButton::enterEvent(event);
}

void CopyIconButton::leaveEvent(QEvent* event)
{
    if (m_host == Host::historyRow) {
        m_hovering = false;
        update();
    }
    QAbstractButton::leaveEvent(event);
}
