// Arbitrary bytes as what reaches the running instance's socket from any process of the user's:
// the message after its length.
#include "app/shell/SingleInstance.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const std::optional<QStringList> args = SingleInstance::decodeMessage(bytes);
    if (!args)
        return 0;
    // What was taken in is what a later launch would have sent for it.
    const QByteArray again = SingleInstance::encodeMessage(*args).mid(4);
    if (SingleInstance::decodeMessage(again) != args)
        std::abort();
    return 0;
}
