// Arbitrary bytes as a 200 answer of DashScope's Qwen recognition.
#include "core/recognition/QwenAsrProvider.h"
#include "fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    expectOnlyMurmoErrors([&] {
        if (QwenAsrProvider::transcriptFromAnswer(fuzzBytes(data, size)).isEmpty())
            std::abort(); // an empty transcript must be reported, not returned
    });
    return 0;
}
