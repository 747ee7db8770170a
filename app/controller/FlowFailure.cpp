#include "app/controller/FlowFailure.h"

#include "core/MurmoError.h"
#include "core/recognition/GatewayAuthError.h"

FlowFailure FlowFailure::from(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const GatewayAuthError& e) {
        return {Kind::NeedsLogin, e.description(), false};
    } catch (...) {
        return {Kind::Recognition, MurmoError::userText(std::current_exception()), true};
    }
}
