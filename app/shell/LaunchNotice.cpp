#include "app/shell/LaunchNotice.h"

#include <QMessageBox>

#include <cstdio>

LaunchNotice::LaunchNotice(bool terminalAttached)
    : m_terminalAttached(terminalAttached)
{}

LaunchNotice::~LaunchNotice() = default;

std::unique_ptr<QMessageBox> LaunchNotice::window(const QString& text) const
{
    if (m_terminalAttached)
        return nullptr;
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information, QStringLiteral("Murmo"), text, QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void LaunchNotice::tell(const QString& text) const
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    if (const std::unique_ptr<QMessageBox> box = window(text))
        box->exec();
}

void LaunchNotice::mention(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    m_mentioned = window(text);
    if (m_mentioned)
        m_mentioned->show();
}
