#pragma once

// Every measured pass of a benchmark that reads or exports a large file
// starts from the memory the pass before gave back, as the first read of a
// process does. Kept in the heap instead, a pass of 100,000 objects pays the
// system for new pages or not depending on a few megabytes either side of
// the heap's trim threshold, which moved a baseline by a factor of two
// between runs. Call it with the timing paused.

#include <malloc.h>

namespace benchgen {

inline void GiveMemoryBack() { malloc_trim(0); }

}  // namespace benchgen
