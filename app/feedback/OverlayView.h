#pragma once

#include "app/feedback/OverlayModel.h"

#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class BusySpinner;
class Clock;
class CopyIconButton;
class LiveWaveform;
class OverlayCloseButton;
class OverlayRetryButton;

// The glass capsule of the recording overlay. Everything it shows comes from the model and the
// current skin; it repaints on every published change of the model. The capsule sits 14 px
// inside the view, leaving room for its shadow.
class OverlayView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int outerMargin = 14;

    OverlayView(OverlayModel* model, Clock& clock, QWidget* parent = nullptr);
    ~OverlayView() override;

    // The row the current phase shows.
    enum class Row
    {
        listening,
        processing,
        compactDone,
        compactCancelled,
        result
    };
    Row row() const;

    QRectF capsuleRect() const;
    // The faint wash and border colour of the current action; transparent outside listening.
    QColor phaseTint() const;
    std::optional<QString> subtitle() const;
    // The symbol that leads the current row ("" when the row starts with a spinner).
    QString leadingSymbol() const;
    // The short text of the processing and compact rows.
    QString compactText() const;
    // The main line of the result row as laid out: at most two lines, the second elided.
    QStringList partialLines() const { return m_partialLines; }
    // Where the row's main text is drawn; empty for the listening row, which shows none.
    QRectF textRect() const { return m_textRect; }

    // Without a compositor nothing behind the window can show through, so the glass is drawn
    // opaque.
    void setOpaqueCapsule(bool opaque);

    LiveWaveform* waveform() const { return m_waveform; }
    CopyIconButton* copyButton() const { return m_copy; }
    OverlayRetryButton* retryButton() const { return m_retry; }
    OverlayCloseButton* closeButton() const { return m_close; }
    BusySpinner* spinner() const { return m_spinner; }

Q_SIGNALS:
    void retryClicked();
    void closeClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onModelChanged();
    void relayout();
    QString listeningSymbol() const;
    QColor leadingColour() const;
    void paintCapsule(QPainter& painter) const;
    void paintListening(QPainter& painter) const;
    void paintCompact(QPainter& painter) const;
    void paintResult(QPainter& painter) const;

    QPointer<OverlayModel> m_model;
    LiveWaveform* m_waveform = nullptr;
    CopyIconButton* m_copy = nullptr;
    OverlayRetryButton* m_retry = nullptr;
    OverlayCloseButton* m_close = nullptr;
    BusySpinner* m_spinner = nullptr;
    bool m_opaque = false;

    // The capsule's shadow, glass, tint and rim, drawn once for what they depend on.
    struct CapsuleLook
    {
        QRectF capsule;
        qreal pixelRatio = 0;
        QRgb glass = 0;
        QRgb tint = 0;
        bool opaque = false;
        friend bool operator==(const CapsuleLook&, const CapsuleLook&) = default;
    };
    mutable CapsuleLook m_capsuleLook;
    mutable QImage m_capsuleImage;

    // Layout of the painted parts, recomputed on every change.
    QRectF m_symbolRect;
    QRectF m_textRect;
    QRectF m_subtitleRect;
    QStringList m_partialLines;

    // A switch of action while listening swaps the symbol with a fade and a scale from 0.5.
    QString m_shownListeningSymbol;
    QString m_previousListeningSymbol;
    QVariantAnimation m_symbolSwap;
    qreal m_symbolSwapAmount = 1.0;
};
