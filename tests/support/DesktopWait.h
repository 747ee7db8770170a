#pragma once

// How long a desktop test waits for the event it needs before it gives up: enough for a busy
// two-core machine. A passing test goes on as soon as the event comes.
inline constexpr int kWaitMs = 20000;
