// Arbitrary bytes as the gateway's answers about this computer and its user: "v1/register" (a new
// device token) and "v1/me" (who is signed in).
#include "core/account/SessionStore.h"
#include "core/recognition/GatewayClient.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    expectOnlyMurmoErrors([&] { (void)GatewayClient::tokenFromRegisterAnswer(bytes); });
    if (const std::optional<QString> email = SessionStore::emailFromMeAnswer(bytes)) {
        if (email->isEmpty())
            std::abort(); // an address is shown only when there is one
        if (holdsDroppedControl(*email))
            std::abort(); // what a service sends is cleared of control characters
    }
    return 0;
}
