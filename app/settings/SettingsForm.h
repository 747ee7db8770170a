#pragma once

#include <QList>
#include <QScrollArea>
#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// A small explanatory text under a control. Secondary captions follow the skin's dim text, faint
// ones (the appearance tab's) its faint text; both are reread at every theme change.
class CaptionLabel : public QWidget
{
    Q_OBJECT

public:
    enum class Tone
    {
        Secondary,
        Faint
    };

    CaptionLabel(const QString& text, Tone tone, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    Tone tone() const { return m_tone; }
    QColor color() const;
    void applyTheme();

private:
    QLabel* m_label;
    Tone m_tone;
};

// One titled group of a settings page: the title above, the rows on a rounded card below.
class SettingsSection : public QWidget
{
    Q_OBJECT

public:
    SettingsSection(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    QWidget* card() const { return m_card; }

    // Adds a full-width row and returns it.
    QWidget* addRow(QWidget* row);
    // A label on the left with the control on the right.
    QWidget* addLabeled(const QString& label, QWidget* control);
    CaptionLabel* addCaption(const QString& text, CaptionLabel::Tone tone = CaptionLabel::Tone::Secondary);

    void applyTheme();

private:
    QLabel* m_title;
    QWidget* m_card;
    QVBoxLayout* m_rows;
};

// A settings tab: its sections one under another, scrolled when the window is short.
class SettingsForm : public QScrollArea
{
    Q_OBJECT

public:
    explicit SettingsForm(QWidget* parent = nullptr);

    SettingsSection* addSection(const QString& title);
    const QList<SettingsSection*>& sections() const { return m_sections; }
    SettingsSection* section(const QString& title) const;

    // Rereads the skin: captions, section cards and every painted control.
    virtual void applyTheme();

private:
    QWidget* m_content;
    QVBoxLayout* m_layout;
    QList<SettingsSection*> m_sections;
};
