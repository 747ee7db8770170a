#include "core/recognition/CredentialSource.h"

GatewayUnreachableError::GatewayUnreachableError()
    : MurmoError(QStringLiteral("暂时连不上 Murmo 服务，请稍后重试"))
{}

GatewayRefusedError::GatewayRefusedError()
    : MurmoError(QStringLiteral("Murmo 服务拒绝了这台电脑的凭据，请联系 Murmo 支持"))
{}
