#include "app/controller/FlowFailure.h"

#include "core/MurmoError.h"
#include "core/recognition/GatewayAuthError.h"

FlowFailure FlowFailure::from(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const GatewayAuthError& e) {
        return {Kind::NeedsLogin, e.description(), false};
    } catch (const MurmoError& e) {
        return {Kind::Recognition, e.description(), true};
    } catch (const std::exception& e) {
        return {Kind::Recognition, QString::fromUtf8(e.what()), true};
    } catch (...) {
        return {Kind::Recognition, QStringLiteral("未知错误"), true};
    }
}
