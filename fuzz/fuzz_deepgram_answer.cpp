// Arbitrary bytes as a 200 answer of Deepgram's /v1/listen.
#include "core/recognition/DeepgramProvider.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    expectOnlyMurmoErrors([&] {
        if (DeepgramProvider::transcriptFromAnswer(fuzzBytes(data, size)).isEmpty())
            std::abort();
    });
    return 0;
}
