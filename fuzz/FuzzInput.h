#pragma once

#include "core/MurmoError.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes as a QByteArray, copied so that reads past the end are caught.
inline QByteArray fuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Runs a parser on outside data. The core reports bad data only by throwing its own error types;
// anything else escaping (a crash, std::bad_alloc, a foreign exception) fails the run.
template <typename Parse> void expectOnlyMurmoErrors(Parse&& parse)
{
    try {
        parse();
    } catch (const MurmoError&) {
    }
}

// Whether text from a service still holds a character that must never reach the history or the
// cursor: a control character other than tab and newline, DEL, a C1 control, or a bidirectional
// embedding, override or isolate.
inline bool holdsDroppedControl(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) ||
            (u >= 0x2066 && u <= 0x2069))
            return true;
    }
    return false;
}
