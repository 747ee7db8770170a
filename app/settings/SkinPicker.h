#pragma once

#include <QAbstractButton>
#include <QList>
#include <QWidget>

struct ThemePalette;
class Settings;

// One skin's swatch: a miniature of a window in that skin's colours over its name. The chosen
// swatch is outlined in the skin's own accent.
class SkinSwatch : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr QSize tileSize{92, 64};

    SkinSwatch(const ThemePalette& skin, QWidget* parent = nullptr);

    QString skinId() const;
    bool isChosen() const { return m_chosen; }
    void setChosen(bool chosen);

    // What the swatch draws with right now, in the appearance in force.
    QColor borderColor() const;
    qreal borderWidth() const { return m_chosen ? 2.0 : 0.5; }
    QColor nameColor() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont nameFont() const;
    QColor accent() const;

    const ThemePalette& m_skin;
    bool m_chosen = false;
};

// The skins side by side; a click makes that skin the program's at once (the controller applies
// every stored skin change, the same one again included).
class SkinPicker : public QWidget
{
    Q_OBJECT

public:
    explicit SkinPicker(Settings& settings, QWidget* parent = nullptr);

    const QList<SkinSwatch*>& swatches() const { return m_swatches; }

private:
    void showChosen();

    Settings& m_settings;
    QList<SkinSwatch*> m_swatches;
};
