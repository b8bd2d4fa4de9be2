#pragma once

// The benchmarks' own switches, taken off the command line before Google
// Benchmark reads the rest.

#include <algorithm>
#include <string_view>

namespace benchgen {

// True when Name is among the arguments; its first occurrence is removed.
inline bool TakeSwitch(int& Argc, char** Argv, std::string_view Name) {
  for (int i = 1; i < Argc; ++i)
    if (Argv[i] == Name) {
      std::copy(Argv + i + 1, Argv + Argc + 1, Argv + i);
      --Argc;
      return true;
    }
  return false;
}

}  // namespace benchgen
