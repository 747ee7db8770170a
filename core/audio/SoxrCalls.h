#pragma once

#include <soxr.h>

// libsoxr's calls, from the library opened the first time audio is resampled.
struct SoxrCalls
{
    decltype(&soxr_create) create;
    decltype(&soxr_delete) destroy;
    decltype(&soxr_process) process;
    decltype(&soxr_oneshot) oneshot;
    decltype(&soxr_io_spec) ioSpec;
    decltype(&soxr_quality_spec) qualitySpec;

    // Null without the library, which is then told on stderr once. Any thread.
    static const SoxrCalls* get();
};
