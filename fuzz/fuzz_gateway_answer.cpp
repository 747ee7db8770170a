// Arbitrary bytes as the body of a gateway answer: the common answer rules, the recognition
// answer and the lexicon snapshot.
#include "core/recognition/GatewayAsrProvider.h"
#include "core/recognition/GatewayClient.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = fuzzBytes(data, size);
    for (const int status : {200, 401, 500}) {
        expectOnlyMurmoErrors([&] {
            const QJsonObject answer = GatewayClient::objectFromAnswer(true, status, body);
            if (status != 200)
                std::abort(); // only a 200 may ever produce a result
            if (holdsDroppedControl(GatewayAsrProvider::transcriptFromAnswer(answer)))
                std::abort(); // what a service sends is cleared of control characters
        });
    }
    expectOnlyMurmoErrors([&] {
        const std::optional<QByteArray> snapshot = GatewayClient::lexiconFromAnswer(body);
        if (snapshot && snapshot->isEmpty())
            std::abort(); // an empty blob means "no snapshot", never an empty one
    });
    return 0;
}
