#include "core/recognition/GatewayAuthError.h"

GatewayAuthError::GatewayAuthError()
    : MurmoError(QStringLiteral("需要登录"))
{}
