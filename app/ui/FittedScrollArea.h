#pragma once

#include <QScrollArea>

// A scroll area as tall as its content needs at its width, up to a limit its owner sets; beyond
// the limit the content scrolls. The content keeps its height for its width (wrapped texts,
// buttons) instead of being squeezed, and the area follows the content as parts of it show or
// hide. Empty content (nothing shown) takes no height.
class FittedScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit FittedScrollArea(QWidget* parent = nullptr);

    // The content; the area takes it over. It should be laid out with a height-for-width layout.
    void setContent(QWidget* content);
    void setHeightLimit(int limit);
    int heightLimit() const { return m_limit; }
    // What the content needs at the area's width.
    int neededHeight() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    int m_limit = QWIDGETSIZE_MAX;
};
