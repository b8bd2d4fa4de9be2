#include "UsableCpus.h"

#include <sched.h>

#include <thread>

unsigned UsableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  // A mask larger than the set (thousands of processors): the machine's count.
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? all : 1;
}
