// A Messages API answer is outside data: it goes through LlmStyler::textFromAnswer().
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/text/LlmStyler.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the status so failing answers are exercised too.
    const int status = data[0] < 224 ? 200 : 100 + data[0];
    const QByteArray body(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    try {
        const QString text = LlmStyler::textFromAnswer(true, status, body);
        if (status != 200)
            std::abort();
        // Every character of the answer comes from at least one byte of the body.
        if (text.size() > body.size())
            std::abort();
    } catch (const AsrError& error) {
        if (status == 200 || error.status() != status || error.kind() != AsrError::Kind::HttpError)
            std::abort();
        // The body is kept as text when it is UTF-8 (a byte-order mark is not text).
        const QByteArray withoutBom = body.startsWith("\xEF\xBB\xBF") ? body.mid(3) : body;
        if (!error.body().isEmpty() && error.body().toUtf8() != withoutBom)
            std::abort();
    } catch (const JsonError&) {
        if (status != 200)
            std::abort();
    }
    return 0;
}
