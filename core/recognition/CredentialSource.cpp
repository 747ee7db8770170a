#include "core/recognition/CredentialSource.h"

GatewayUnreachableError::GatewayUnreachableError()
    : MurmoError(QStringLiteral("暂时连不上 Murmo 服务，请稍后重试"))
{}
