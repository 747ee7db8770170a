#include "app/feedback/OverlayView.h"

#include "app/feedback/LiveWaveform.h"
#include "app/feedback/OverlayCloseButton.h"
#include "app/feedback/OverlayRetryButton.h"
#include "app/ui/BusySpinner.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"
#include "app/ui/TwoLines.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace {

using Phase = OverlayModel::Phase;

constexpr qreal rowSpacing = 7;
constexpr qreal resultSpacing = 10;
constexpr qreal minSpacer = 4;
constexpr qreal listeningSymbolSize = 13;
constexpr qreal listeningSymbolWidth = 15;
constexpr qreal compactSymbolSize = 13;
constexpr qreal resultSymbolSize = 17;
constexpr qreal subtitleSize = 10;
constexpr qreal partialSize = 12.5;
constexpr qreal compactTextSize = 11;
constexpr int resultInsetX = 14;
constexpr int symbolSwapMs = 340;
// See-through glass without a blur behind it: enough of the card colour to keep text legible.
constexpr qreal glassOpacity = 0.86;

} // namespace

OverlayView::OverlayView(OverlayModel* model, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    m_waveform = new LiveWaveform(model, clock, this);
    m_copy = new CopyIconButton(
        CopyIconButton::Host::overlayDone, QStringLiteral("复制"),
        [model = QPointer<OverlayModel>(model)] { return model ? model->partial() : QString(); }, clock, this);
    m_retry = new OverlayRetryButton(this);
    m_close = new OverlayCloseButton(this);
    m_spinner = new BusySpinner(this);
    connect(m_retry, &QAbstractButton::clicked, this, &OverlayView::retryClicked);
    connect(m_close, &QAbstractButton::clicked, this, &OverlayView::closeClicked);

    m_symbolSwap.setDuration(symbolSwapMs);
    m_symbolSwap.setEasingCurve(QEasingCurve::OutCubic);
    m_symbolSwap.setStartValue(0.0);
    m_symbolSwap.setEndValue(1.0);
    connect(&m_symbolSwap, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_symbolSwapAmount = v.toReal();
        update();
    });

    connect(model, &OverlayModel::changed, this, &OverlayView::onModelChanged);
    m_shownListeningSymbol = listeningSymbol();
    relayout();
}

OverlayView::~OverlayView() = default;

OverlayView::Row OverlayView::row() const
{
    const Phase phase = m_model ? m_model->phase() : Phase::listening;
    switch (phase) {
    case Phase::listening:
    case Phase::listeningTranslate:
    case Phase::listeningAsk:
    case Phase::listeningRewrite:
        return Row::listening;
    case Phase::processing:
        return Row::processing;
    case Phase::done:
        return m_model->inserted() ? Row::compactDone : Row::result;
    case Phase::cancelled:
        return Row::compactCancelled;
    case Phase::failed:
    case Phase::note:
        return Row::result;
    }
    return Row::result;
}

QRectF OverlayView::capsuleRect() const
{
    return QRectF(rect()).adjusted(outerMargin, outerMargin, -outerMargin, -outerMargin);
}

QColor OverlayView::phaseTint() const
{
    const ThemePalette& p = Theme::palette();
    switch (m_model ? m_model->phase() : Phase::done) {
    case Phase::listening:
        return Theme::color(p.goldBright);
    case Phase::listeningTranslate:
        return Theme::color(p.tealBright);
    case Phase::listeningAsk:
    case Phase::listeningRewrite:
        return Theme::color(p.violetBright);
    default:
        return Qt::transparent;
    }
}

std::optional<QString> OverlayView::subtitle() const
{
    if (!m_model)
        return std::nullopt;
    switch (m_model->phase()) {
    case Phase::note:
        if (m_model->noteSubtitle().isEmpty())
            return std::nullopt;
        return m_model->noteSubtitle();
    case Phase::failed:
        return m_model->failKind() == OverlayModel::FailKind::styling ? QStringLiteral("原话已上屏 · 整理未成")
                                                                      : QStringLiteral("未完成");
    case Phase::done:
        if (m_model->inserted())
            return QStringLiteral("已插入");
        if (const auto hint = m_model->copyHint())
            return *hint;
        return QStringLiteral("已复制 · 按 Ctrl+V 粘贴");
    default:
        return std::nullopt;
    }
}

QString OverlayView::listeningSymbol() const
{
    switch (m_model ? m_model->phase() : Phase::listening) {
    case Phase::listeningTranslate:
        return Theme::translateIcon();
    case Phase::listeningAsk:
        return QStringLiteral("sparkles");
    case Phase::listeningRewrite:
        return QStringLiteral("pencil.line");
    default:
        return QStringLiteral("mic.fill");
    }
}

QString OverlayView::leadingSymbol() const
{
    if (!m_model)
        return {};
    switch (row()) {
    case Row::listening:
        return listeningSymbol();
    case Row::processing:
        return {};
    case Row::compactDone:
        return QStringLiteral("checkmark.circle.fill");
    case Row::compactCancelled:
        return QStringLiteral("xmark.circle.fill");
    case Row::result:
        break;
    }
    switch (m_model->phase()) {
    case Phase::failed:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Phase::note:
        return QStringLiteral("checkmark.seal.fill");
    default:
        return m_model->inserted() ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("doc.on.clipboard.fill");
    }
}

QColor OverlayView::leadingColour() const
{
    const ThemePalette& p = Theme::palette();
    switch (row()) {
    case Row::listening:
        return phaseTint();
    case Row::compactDone:
        return Theme::color(p.green);
    case Row::compactCancelled:
    case Row::processing:
        return Theme::color(p.textDim);
    case Row::result:
        break;
    }
    switch (m_model->phase()) {
    case Phase::failed:
        return Theme::color(p.red);
    case Phase::note:
        return Theme::color(p.green);
    default:
        return m_model->inserted() ? Theme::color(p.green) : Theme::color(p.accent);
    }
}

QString OverlayView::compactText() const
{
    switch (row()) {
    case Row::processing:
        return m_model->processingText();
    case Row::compactDone:
        return QStringLiteral("已插入");
    case Row::compactCancelled:
        return QStringLiteral("已取消");
    default:
        return {};
    }
}

void OverlayView::setOpaqueCapsule(bool opaque)
{
    m_opaque = opaque;
    update();
}

void OverlayView::onModelChanged()
{
    const QString symbol = listeningSymbol();
    if (row() == Row::listening && symbol != m_shownListeningSymbol) {
        m_previousListeningSymbol = m_shownListeningSymbol;
        m_shownListeningSymbol = symbol;
        m_symbolSwap.stop();
        m_symbolSwapAmount = 0.0;
        m_symbolSwap.start();
    } else if (row() != Row::listening) {
        // The next listening row starts fresh, without a transition from an old action.
        m_shownListeningSymbol = symbol;
        m_symbolSwap.stop();
        m_symbolSwapAmount = 1.0;
    }
    relayout();
    update();
}

void OverlayView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void OverlayView::relayout()
{
    if (!m_model)
        return;
    const QRectF capsule = capsuleRect();
    const qreal cy = capsule.center().y();
    const Row current = row();
    const bool failed = m_model->phase() == Phase::failed;
    const bool retrying = failed && m_model->retrying();

    m_waveform->setVisible(current == Row::listening);
    m_spinner->setVisible(current == Row::processing || retrying);
    m_copy->setVisible(current == Row::result && m_model->phase() == Phase::done);
    m_retry->setVisible(failed && !retrying && m_model->retryOffered());
    m_close->setVisible(failed && !retrying);
    m_retry->setTitle(m_model->failKind() == OverlayModel::FailKind::styling ? QStringLiteral("重试整理")
                                                                             : QStringLiteral("重试"));
    m_partialLines.clear();
    m_textRect = {};
    m_subtitleRect = {};

    switch (current) {
    case Row::listening: {
        const qreal width = listeningSymbolWidth + rowSpacing + m_waveform->width();
        const qreal x = capsule.center().x() - width / 2;
        m_symbolRect = SymbolIcon::box(QPointF(x + listeningSymbolWidth / 2, cy), listeningSymbolSize);
        m_waveform->move(QPointF(x + listeningSymbolWidth + rowSpacing, cy - m_waveform->height() / 2.0).toPoint());
        return;
    }
    case Row::processing:
    case Row::compactDone:
    case Row::compactCancelled: {
        const QFontMetricsF metrics(DesignFonts::font(compactTextSize));
        const qreal lead =
            current == Row::processing ? m_spinner->width() : SymbolIcon::box({}, compactSymbolSize).width();
        const qreal textWidth = metrics.horizontalAdvance(compactText());
        const qreal x = capsule.center().x() - (lead + rowSpacing + textWidth) / 2;
        m_symbolRect = SymbolIcon::box(QPointF(x + lead / 2, cy), compactSymbolSize);
        if (current == Row::processing)
            m_spinner->move(QPointF(x, cy - m_spinner->height() / 2.0).toPoint());
        m_textRect = QRectF(x + lead + rowSpacing, capsule.top(), textWidth + 1, capsule.height());
        return;
    }
    case Row::result:
        break;
    }

    // Result row: symbol, texts, a flexible gap, then the controls of the phase at the right.
    qreal right = capsule.right() - resultInsetX;
    qreal trailingLeft = right + resultSpacing; // no trailing controls: the gap ends the row
    auto placeRight = [&](QWidget* w) {
        const qreal x = right - w->width();
        w->move(QPointF(x, cy - w->height() / 2.0).toPoint());
        right = x - resultSpacing;
        trailingLeft = x;
    };
    if (retrying) {
        // The spinner sits in a 28 x 28 frame.
        const qreal x = capsule.right() - resultInsetX - 28;
        m_spinner->move(QPointF(x + (28 - m_spinner->width()) / 2.0, cy - m_spinner->height() / 2.0).toPoint());
        trailingLeft = x;
    } else if (failed) {
        placeRight(m_close);
        if (m_model->retryOffered())
            placeRight(m_retry);
    } else if (m_model->phase() == Phase::done) {
        placeRight(m_copy);
    }
    const qreal left = capsule.left() + resultInsetX;
    m_symbolRect =
        SymbolIcon::box(QPointF(left + SymbolIcon::box({}, resultSymbolSize).width() / 2, cy), resultSymbolSize);
    const qreal textLeft = m_symbolRect.right() + resultSpacing;
    const qreal textRight = trailingLeft - resultSpacing - minSpacer - resultSpacing;
    const qreal textWidth = std::max<qreal>(0, textRight - textLeft);

    const QFont partialFont = DesignFonts::font(partialSize);
    const QFontMetricsF partialMetrics(partialFont);
    m_partialLines = twoLines(m_model->partial(), partialFont, textWidth);
    const qreal partialHeight = partialMetrics.height() * std::max<qsizetype>(1, m_partialLines.size());
    const auto sub = subtitle();
    const qreal subtitleHeight = sub ? QFontMetricsF(DesignFonts::font(subtitleSize, QFont::Medium)).height() : 0;
    const qreal blockHeight = partialHeight + (sub ? subtitleHeight + 1 : 0);
    qreal y = cy - blockHeight / 2;
    if (sub) {
        m_subtitleRect = QRectF(textLeft, y, textWidth, subtitleHeight);
        y += subtitleHeight + 1;
    }
    m_textRect = QRectF(textLeft, y, textWidth, partialHeight);
}

void OverlayView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintCapsule(painter);
    switch (row()) {
    case Row::listening:
        paintListening(painter);
        break;
    case Row::processing:
    case Row::compactDone:
    case Row::compactCancelled:
        paintCompact(painter);
        break;
    case Row::result:
        paintResult(painter);
        break;
    }
}

namespace {

void drawCapsule(QPainter& painter, const QRectF& capsule, const QColor& glass, const QColor& tint, bool opaque)
{
    const qreal radius = capsule.height() / 2;
    auto capsuleIn = [](const QRectF& r) {
        QPainterPath path;
        path.addRoundedRect(r, r.height() / 2, r.height() / 2);
        return path;
    };

    // A soft shadow below: rings of falling opacity around the capsule, shifted down 1.5.
    if (!opaque) {
        for (int i = 5; i >= 1; --i) {
            const qreal spread = i;
            const qreal strength = 0.18 * (1.0 - spread / 6.0) * (1.0 - spread / 6.0) * 0.6;
            painter.fillPath(capsuleIn(capsule.adjusted(-spread, -spread, spread, spread).translated(0, 1.5)),
                             QColor::fromRgbF(0, 0, 0, float(strength)));
        }
    }

    const QPainterPath shape = capsuleIn(capsule);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillPath(shape, glass);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    if (tint.alpha() > 0) {
        QColor wash = tint;
        wash.setAlphaF(wash.alphaF() * 0.1f);
        painter.fillPath(shape, wash);
        QColor border = tint;
        border.setAlphaF(border.alphaF() * 0.55f);
        painter.setPen(QPen(border, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    }
    painter.setPen(QPen(QBrush(Theme::glassRim(capsule)), 0.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(capsule.adjusted(0.4, 0.4, -0.4, -0.4), radius - 0.4, radius - 0.4);
}

} // namespace

void OverlayView::paintCapsule(QPainter& painter) const
{
    QColor glass = Theme::color(Theme::palette().bgCard);
    if (!m_opaque)
        glass.setAlphaF(glass.alphaF() * float(glassOpacity));
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const CapsuleLook look{capsuleRect(), ratio, glass.rgba(), phaseTint().rgba(), m_opaque};
    // Each of the capsule's layers covers all of it, and a frame that drew them one by one would
    // cost several times the rest of the frame; they are drawn again only when what they show
    // changes, and laid down in one pass. The view's background is transparent, as the image's is.
    if (look != m_capsuleLook || m_capsuleImage.isNull()) {
        m_capsuleImage = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        m_capsuleImage.setDevicePixelRatio(ratio);
        m_capsuleImage.fill(Qt::transparent);
        QPainter layers(&m_capsuleImage);
        layers.setRenderHint(QPainter::Antialiasing);
        drawCapsule(layers, look.capsule, QColor::fromRgba(look.glass), QColor::fromRgba(look.tint), look.opaque);
        m_capsuleLook = look;
    }
    painter.drawImage(QPointF(0, 0), m_capsuleImage);
}

void OverlayView::paintListening(QPainter& painter) const
{
    const QColor colour = phaseTint();
    auto drawScaled = [&](const QString& name, qreal scale, qreal opacity) {
        if (opacity <= 0)
            return;
        painter.save();
        const QPointF c = m_symbolRect.center();
        painter.translate(c);
        painter.scale(scale, scale);
        painter.translate(-c);
        painter.setOpacity(opacity);
        SymbolIcon::paint(painter, name, m_symbolRect, colour);
        painter.restore();
    };
    const qreal t = m_symbolSwapAmount;
    if (t < 1.0 && !m_previousListeningSymbol.isEmpty())
        drawScaled(m_previousListeningSymbol, 1.0 - 0.5 * t, 1.0 - t);
    drawScaled(m_shownListeningSymbol, 0.5 + 0.5 * t, t);
}

void OverlayView::paintCompact(QPainter& painter) const
{
    if (row() != Row::processing)
        SymbolIcon::paint(painter, leadingSymbol(), m_symbolRect, leadingColour());
    painter.setFont(DesignFonts::font(compactTextSize));
    painter.setPen(Theme::color(Theme::palette().textDim));
    painter.drawText(m_textRect, Qt::AlignLeft | Qt::AlignVCenter, compactText());
}

void OverlayView::paintResult(QPainter& painter) const
{
    const ThemePalette& p = Theme::palette();
    SymbolIcon::paint(painter, leadingSymbol(), m_symbolRect, leadingColour());
    if (const auto sub = subtitle()) {
        painter.setFont(DesignFonts::font(subtitleSize, QFont::Medium));
        painter.setPen(Theme::color(p.textFaint));
        painter.drawText(m_subtitleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QFontMetricsF(painter.font()).elidedText(*sub, Qt::ElideRight, m_subtitleRect.width()));
    }
    const QFont font = DesignFonts::font(partialSize);
    painter.setFont(font);
    painter.setPen(Theme::color(p.text));
    const qreal lineHeight = QFontMetricsF(font).height();
    for (int i = 0; i < m_partialLines.size(); ++i) {
        const QRectF line(m_textRect.left(), m_textRect.top() + i * lineHeight, m_textRect.width(), lineHeight);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_partialLines.at(i));
    }
}
