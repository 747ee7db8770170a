#include "core/MurmoError.h"

MurmoError::MurmoError(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{}

QString MurmoError::userText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const MurmoError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}
