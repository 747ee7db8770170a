#include "core/audio/FreedMemory.h"

#include <QThreadPool>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace FreedMemory {

void keepLargeBuffersApart()
{
#if defined(__GLIBC__)
    // Fixing the threshold also stops the library from raising it after each large free.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

void giveBack()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void giveBackSoon()
{
    QThreadPool::globalInstance()->start([] { giveBack(); });
}

} // namespace FreedMemory
