#include "app/settings/SkinPicker.h"

#include "app/controller/Settings.h"
#include "app/settings/SettingsBinding.h"
#include "app/ui/Theme.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kNameGap = 6;

void fillRounded(QPainter& painter, const QRectF& box, qreal radius, const QColor& colour)
{
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    painter.fillPath(path, colour);
}

} // namespace

SkinSwatch::SkinSwatch(const ThemePalette& skin, QWidget* parent)
    : QAbstractButton(parent)
    , m_skin(skin)
{
    setText(skin.name);
    setToolTip(QStringLiteral("切换到「%1」皮肤").arg(skin.name));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QString SkinSwatch::skinId() const
{
    return m_skin.id;
}

void SkinSwatch::setChosen(bool chosen)
{
    if (m_chosen == chosen)
        return;
    m_chosen = chosen;
    update();
}

QColor SkinSwatch::accent() const
{
    return m_skin.accent.color(Theme::isDark());
}

QColor SkinSwatch::borderColor() const
{
    return m_chosen ? accent() : Theme::color(Theme::palette().hairline);
}

QColor SkinSwatch::nameColor() const
{
    return m_chosen ? accent() : Theme::color(Theme::palette().textDim);
}

QFont SkinSwatch::nameFont() const
{
    QFont font = this->font();
    font.setFamilies({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(12);
    return font;
}

QSize SkinSwatch::sizeHint() const
{
    const QFontMetrics metrics(nameFont());
    return {std::max(tileSize.width(), metrics.horizontalAdvance(text())),
            tileSize.height() + kNameGap + metrics.height()};
}

void SkinSwatch::paintEvent(QPaintEvent*)
{
    const bool dark = Theme::isDark();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF tile(QPointF((width() - tileSize.width()) / 2.0, 0), QSizeF(tileSize));
    fillRounded(painter, tile, 12, m_skin.bg.color(dark));

    // A card with the three action colours over an accent bar, spaced 5 apart, centred in the tile.
    const QSizeF card(68, 26);
    const QSizeF bar(30, 6);
    const qreal top = tile.center().y() - (card.height() + 5 + bar.height()) / 2;
    const QRectF cardBox(QPointF(tile.center().x() - card.width() / 2, top), card);
    fillRounded(painter, cardBox, 5, m_skin.bgCard.color(dark));
    QPainterPath cardOutline;
    cardOutline.addRoundedRect(cardBox.adjusted(0.25, 0.25, -0.25, -0.25), 5, 5);
    painter.setPen(QPen(m_skin.hairline.color(dark), 0.5));
    painter.drawPath(cardOutline);
    painter.setPen(Qt::NoPen);
    const QList<QColor> dots = {m_skin.gold.color(dark), m_skin.teal.color(dark), m_skin.violet.color(dark)};
    const qreal dotsWidth = 3 * 6 + 2 * 7;
    for (int i = 0; i < dots.size(); ++i) {
        painter.setBrush(dots[i]);
        painter.drawEllipse(QRectF(cardBox.center().x() - dotsWidth / 2 + i * 13, cardBox.center().y() - 3, 6, 6));
    }
    const QRectF barBox(QPointF(tile.center().x() - bar.width() / 2, cardBox.bottom() + 5), bar);
    fillRounded(painter, barBox, 3, accent());

    // Drawn inside the outline, so a thick border does not grow the tile.
    const qreal inset = borderWidth() / 2;
    QPainterPath border;
    border.addRoundedRect(tile.adjusted(inset, inset, -inset, -inset), 12 - inset, 12 - inset);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(borderColor(), borderWidth()));
    painter.drawPath(border);
    if (hasFocus()) {
        painter.setPen(QPen(accent(), 1, Qt::DotLine));
        painter.drawPath(border);
    }

    painter.setFont(nameFont());
    painter.setPen(nameColor());
    painter.drawText(QRectF(0, tile.bottom() + kNameGap, width(), height() - tile.bottom() - kNameGap),
                     Qt::AlignHCenter | Qt::AlignTop, text());
}

SkinPicker::SkinPicker(Settings& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    setObjectName(SettingsTable::row(SettingKey::skinId).name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(14);
    for (const ThemePalette& skin : ThemePalette::all()) {
        auto* swatch = new SkinSwatch(skin, this);
        connect(swatch, &SkinSwatch::clicked, this,
                [this, id = skin.id] { m_settings.setValue(SettingKey::skinId, id); });
        layout->addWidget(swatch, 0, Qt::AlignTop);
        m_swatches.append(swatch);
    }
    layout->addStretch(1);
    SettingsBinding::follow(settings, SettingKey::skinId, this, [this] { showChosen(); });
}

void SkinPicker::showChosen()
{
    const QString chosen = m_settings.text(SettingKey::skinId);
    for (SkinSwatch* swatch : std::as_const(m_swatches))
        swatch->setChosen(swatch->skinId() == chosen);
}
