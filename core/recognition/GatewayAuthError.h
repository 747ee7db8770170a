#pragma once

#include "core/MurmoError.h"

// The gateway refused the credential (HTTP 401). The controller recognises this type and asks the
// user to sign in rather than showing the text.
class GatewayAuthError : public MurmoError
{
public:
    GatewayAuthError();
};
