#pragma once

// How many processors this process may run on: its affinity mask, not the
// machine's count (a run under taskset or in a limited container gets
// fewer). At least 1.
unsigned UsableCpus();
