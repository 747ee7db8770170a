#pragma once

#include <QtGlobal>

// Counts the bytes held through operator new in this test program, so that a test can bound what
// a piece of code holds at its worst without asking the operating system (whose figures drift
// with everything else the process does). Memory from malloc itself is not seen.
namespace AllocationCounter {

qint64 live();
// The highest live() since the last resetPeak().
qint64 peak();
void resetPeak();

} // namespace AllocationCounter
