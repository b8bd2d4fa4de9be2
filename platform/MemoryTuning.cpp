#include "MemoryTuning.h"

#include <malloc.h>

void TuneMemoryAllocator() {
  // Blocks below 1 GiB come from the heap; up to 256 MiB of free heap top is
  // kept for the next load rather than returned at once.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  // No fast bins: a load frees a hundred thousand small blocks at once, and
  // parking them unmerged only for the next large request to sweep them all
  // up again costs more than merging each as it is freed.
  mallopt(M_MXFAST, 0);
}
