#pragma once

// Reading a large object file allocates buffers of tens of megabytes. The C
// library would map each of them afresh and hand it back when freed, so every
// load of the same file faults all its pages in again. Keeping such buffers in
// the heap lets the next load reuse pages already in memory. Call once at
// start, before the first load.
void TuneMemoryAllocator();
