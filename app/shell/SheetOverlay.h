#pragma once

#include <QPointer>
#include <QWidget>

// A sheet over a window's content: a dimmed backdrop covering the whole window with the sheet
// centred on it. Clicks do not reach the window underneath, the keyboard focus stays inside the
// sheet (Tab and Shift+Tab go round its controls), and nothing closes the sheet but its owner, so
// a sheet that must be completed cannot be dismissed by accident.
class SheetOverlay : public QWidget
{
    Q_OBJECT

public:
    // Covers host and follows its size; the overlay owns sheet.
    SheetOverlay(QWidget* sheet, QWidget* host);
    ~SheetOverlay() override;

    QWidget* sheet() const { return m_sheet; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The sheet's controls that Tab reaches, in the window's focus order.
    QList<QWidget*> focusable() const;
    void holdFocus(QWidget* now);
    void placeSheet();

    QPointer<QWidget> m_sheet;
    QMetaObject::Connection m_following;
};
