// Service answers may hold any UTF-16, lone surrogates included (JSON's "\ud800"). Input: the bytes
// as UTF-16 code units for the text repair, and as a JSON document for the repair on the way in.
#include "core/text/ValidUtf16.h"
#include "fuzz/FuzzInput.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdlib>

namespace {

void checkValid(const QJsonValue& value)
{
    if (value.isString() && !value.toString().isValidUtf16())
        std::abort();
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            checkValid(item);
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.key().isValidUtf16())
                std::abort();
            checkValid(it.value());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const QString text(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
    const QString repaired = ValidUtf16::repaired(text);
    if (repaired.size() != text.size() || !repaired.isValidUtf16())
        std::abort();
    if (text.isValidUtf16() && repaired != text)
        std::abort(); // valid text is never touched

    QJsonParseError error;
    const QJsonDocument document = ValidUtf16::fromJson(bytes, &error);
    checkValid(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()));
    return 0;
}
