#include "platform/linux/system/GlibcFreedMemory.h"

#include <QThreadPool>

#include <malloc.h>

void GlibcFreedMemory::giveBack()
{
    malloc_trim(0);
}

void GlibcFreedMemory::giveBackSoon()
{
    QThreadPool::globalInstance()->start([] { malloc_trim(0); });
}

void GlibcFreedMemory::keepLargeBuffersApart()
{
    // Fixing the threshold also stops the library from raising it after each large free.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}
