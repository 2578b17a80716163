#pragma once
// The monotonic clock of waits and progress, in whole milliseconds.
#include <cstdint>

namespace movara {

// Milliseconds since an arbitrary fixed point (truncated); only differences mean anything.
int64_t NowMs();
// Puts the calling thread to sleep for ms milliseconds (none for 0 or less).
void SleepMs(int ms);

}  // namespace movara
