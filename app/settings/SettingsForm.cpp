#include "app/settings/SettingsForm.h"

#include "app/ui/Theme.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr qreal kCardRadius = 10;

// The card behind a section's rows, drawn in the skin's card colour with a hairline outline.
class SectionCard : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(box, kCardRadius, kCardRadius);
        painter.fillPath(path, Theme::color(Theme::palette().bgCard));
        painter.setPen(QPen(Theme::color(Theme::palette().hairline), 1));
        painter.drawPath(path);
    }
};

QFont captionFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

} // namespace

CaptionLabel::CaptionLabel(const QString& text, Tone tone, QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(text, this))
    , m_tone(tone)
{
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setFont(captionFont(font()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    applyTheme();
}

QString CaptionLabel::text() const
{
    return m_label->text();
}

void CaptionLabel::setText(const QString& text)
{
    m_label->setText(text);
}

QColor CaptionLabel::color() const
{
    return m_label->palette().color(QPalette::WindowText);
}

void CaptionLabel::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    QPalette colours = m_label->palette();
    colours.setColor(QPalette::WindowText, Theme::color(m_tone == Tone::Faint ? palette.textFaint : palette.textDim));
    m_label->setPalette(colours);
}

SettingsSection::SettingsSection(const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_card(new SectionCard(this))
    , m_rows(new QVBoxLayout(m_card))
{
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setTextFormat(Qt::PlainText);
    m_rows->setContentsMargins(14, 10, 14, 10);
    m_rows->setSpacing(8);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_title);
    layout->addWidget(m_card);
    // A section whose editor is not there shows nothing rather than an empty card.
    hide();
}

QString SettingsSection::title() const
{
    return m_title->text();
}

QWidget* SettingsSection::addRow(QWidget* row)
{
    row->setParent(m_card);
    m_rows->addWidget(row);
    show();
    return row;
}

QWidget* SettingsSection::addLabeled(const QString& label, QWidget* control)
{
    auto* row = new QWidget(m_card);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QLabel(label, row);
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);
    layout->addStretch(1);
    control->setParent(row);
    layout->addWidget(control);
    return addRow(row);
}

CaptionLabel* SettingsSection::addCaption(const QString& text, CaptionLabel::Tone tone)
{
    auto* caption = new CaptionLabel(text, tone, m_card);
    addRow(caption);
    return caption;
}

void SettingsSection::applyTheme()
{
    QPalette colours = m_title->palette();
    colours.setColor(QPalette::WindowText, Theme::color(Theme::palette().textDim));
    m_title->setPalette(colours);
    for (CaptionLabel* caption : m_card->findChildren<CaptionLabel*>())
        caption->applyTheme();
    m_card->update();
}

SettingsForm::SettingsForm(QWidget* parent)
    : QScrollArea(parent)
    , m_content(new QWidget(this))
    , m_layout(new QVBoxLayout(m_content))
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_layout->setContentsMargins(20, 16, 20, 20);
    m_layout->setSpacing(18);
    m_layout->addStretch(1);
    setWidget(m_content);
}

SettingsSection* SettingsForm::addSection(const QString& title)
{
    auto* section = new SettingsSection(title, m_content);
    // Before the closing stretch, so the sections stay together at the top.
    m_layout->insertWidget(m_layout->count() - 1, section);
    m_sections.append(section);
    return section;
}

SettingsSection* SettingsForm::section(const QString& title) const
{
    for (SettingsSection* section : m_sections) {
        if (section->title() == title)
            return section;
    }
    return nullptr;
}

void SettingsForm::applyTheme()
{
    for (SettingsSection* section : std::as_const(m_sections))
        section->applyTheme();
    for (QWidget* child : m_content->findChildren<QWidget*>())
        child->update();
}
