#pragma once

#include "app/shell/ThemedSurface.h"

class HistoryIconButton;
class QHBoxLayout;
class QLabel;

// The main window's header: the brand mark with its tagline (the tagline gives way when the
// window is narrow), the default style-mode picker and the settings button.
class HistoryHeader : public ThemedSurface
{
    Q_OBJECT

public:
    explicit HistoryHeader(QWidget* parent = nullptr);

    // Places the style-mode picker between the brand and the settings button; the header owns it.
    void setModePicker(QWidget* picker);

    QLabel* brandMark() const { return m_brand; }
    bool taglineShown() const;
    HistoryIconButton* settingsButton() const { return m_settings; }

    void applyTheme();

Q_SIGNALS:
    void settingsRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitTagline();

    QHBoxLayout* m_row;
    QLabel* m_brand;
    QLabel* m_dash;
    QLabel* m_tagline;
    QWidget* m_picker = nullptr;
    HistoryIconButton* m_settings;
};
