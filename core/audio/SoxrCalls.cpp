#include "core/audio/SoxrCalls.h"

#include "platform/LateLibrary.h"

const SoxrCalls* SoxrCalls::get()
{
    return LateLibrary::once<SoxrCalls>("resample audio", [](LateLibrary& library, SoxrCalls& soxr) {
        library.open("libsoxr.so.0");
        library.bind(soxr.create, "soxr_create");
        library.bind(soxr.destroy, "soxr_delete");
        library.bind(soxr.process, "soxr_process");
        library.bind(soxr.oneshot, "soxr_oneshot");
        library.bind(soxr.ioSpec, "soxr_io_spec");
        library.bind(soxr.qualitySpec, "soxr_quality_spec");
    });
}
