#pragma once

#include <QAbstractButton>

// The card's insert control: a capsule with a symbol and a title, in one of three looks.
class AnswerActionButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Look
    {
        insert,
        inserted,
        copiedInstead
    };

    explicit AnswerActionButton(QWidget* parent = nullptr);

    Look look() const { return m_look; }
    void setLook(Look look);

    QString title() const;
    QString symbolName() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look m_look = Look::insert;
};
