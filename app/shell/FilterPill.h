#pragma once

#include <QAbstractButton>

#include <optional>

// One pill of the history's filter bar: the action's title and, from one entry on, how many
// entries the whole history holds for it.
class FilterPill : public QAbstractButton
{
    Q_OBJECT

public:
    FilterPill(const QString& title, std::optional<QString> action, QWidget* parent = nullptr);

    const std::optional<QString>& action() const { return m_action; }
    bool selected() const { return m_selected; }
    int count() const { return m_count; }
    // The count as shown: empty for none.
    QString countText() const;
    void setState(bool selected, int count);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont titleFont() const;

    std::optional<QString> m_action;
    bool m_selected = false;
    int m_count = 0;
};
