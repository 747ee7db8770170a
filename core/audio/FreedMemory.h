#pragma once

// Hands memory the program has freed back to the system. A take of minutes passes through tens of
// megabytes of buffers (samples, chunks, WAV and Ogg images, request bodies) on several threads.
// The C library keeps freed memory in pools that later small allocations pin, and once one such
// buffer has been freed it serves the next ones from those pools too: without this the program's
// footprint climbs take by take.
namespace FreedMemory {

// Keeps buffers of a quarter megabyte and more out of the pools, so each goes back to the system
// when freed. Once, at start, before other threads run.
void keepLargeBuffersApart();

// Returns what the pools hold free. Costs a few milliseconds with a large heap: call it on a
// worker, after a take is done with.
void giveBack();
// The same on a worker of the global pool, from any thread.
void giveBackSoon();

} // namespace FreedMemory
