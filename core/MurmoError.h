#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The base of every failure the core throws. The description is the text the user sees, in the
// product's own language; what() gives the same text as UTF-8 for diagnostics.
class MurmoError : public std::exception
{
public:
    explicit MurmoError(QString description);

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

    // The text to show for any caught failure: a MurmoError's description, else what() of a
    // standard exception, else "未知错误".
    static QString userText(std::exception_ptr error);

private:
    QString m_description;
    QByteArray m_utf8;
};
