#include "app/shell/EmptyTeachingState.h"

#include "app/shell/SymbolView.h"
#include "app/ui/DesignFonts.h"
#include "app/ui/Theme.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

// The key cap: the hotkey's name on a small raised key.
class KeyCap : public QLabel
{
public:
    explicit KeyCap(QWidget* parent)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setFont(DesignFonts::font(16, QFont::DemiBold));
        setContentsMargins(14, 7, 14, 7);
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setColor(QColor(0, 0, 0, 26));
        shadow->setBlurRadius(1);
        shadow->setOffset(0, 1.5);
        setGraphicsEffect(shadow);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            QPainterPath key;
            key.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
            painter.fillPath(key, Theme::color(Theme::palette().bgCard));
            painter.setPen(QPen(Theme::color(Theme::palette().hairline), 1));
            painter.drawPath(key);
        }
        QLabel::paintEvent(event);
    }
};

void colour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    widget->setPalette(colours);
}

} // namespace

EmptyTeachingState::EmptyTeachingState(QWidget* parent)
    : QWidget(parent)
    , m_keyCap(new KeyCap(this))
    , m_line(new QLabel(this))
{
    auto* column = new QVBoxLayout(this);
    column->setSpacing(14);
    column->setContentsMargins(0, 80, 0, 0);
    column->addWidget(new SymbolView(QStringLiteral("mic.fill"), &ThemePalette::accent, 30, this), 0, Qt::AlignHCenter);
    column->addWidget(m_keyCap, 0, Qt::AlignHCenter);
    m_line->setFont(DesignFonts::font(13));
    m_line->setTextFormat(Qt::PlainText);
    column->addWidget(m_line, 0, Qt::AlignHCenter);
    column->addStretch(1);
    applyTheme();
}

void EmptyTeachingState::setHotkey(const std::optional<Hotkey>& talk, const QString& recordTrigger)
{
    m_keyCap->setVisible(talk.has_value());
    if (!talk) {
        m_line->setText(QStringLiteral("未设置听写快捷键 · 到设置里指定一个"));
        return;
    }
    m_keyCap->setText(talk->display());
    m_line->setText(recordTrigger == QStringLiteral("hold") ? QStringLiteral("按住即说，松开出字")
                                                            : QStringLiteral("按一下即说，说完再按一下出字"));
}

void EmptyTeachingState::applyTheme()
{
    colour(m_keyCap, Theme::color(Theme::palette().text));
    colour(m_line, Theme::color(Theme::palette().textDim));
    update();
}
