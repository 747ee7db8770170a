#pragma once

#include "core/MurmoError.h"

#include <QByteArray>

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
