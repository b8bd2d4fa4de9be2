// libFuzzer harness for the object-file reader: every input is written to a
// file and read like a file the user opened. An input may end in a result or
// in the reader's own error; anything else (a crash, a leak, another
// exception) is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AppPaths.h"
#include "MorvoError.h"
#include "MorvoObject.h"

#ifndef FUZZ_DEFS_DIR
#error "FUZZ_DEFS_DIR names the folder of the definition files the harness reads with"
#endif

namespace {
std::string gInputPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetExecutableFolderOverride(std::string(FUZZ_DEFS_DIR) + "/");
  char path[] = "/tmp/morvo-fuzz-input.XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  close(fd);
  gInputPath = path;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(gInputPath.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  FreeAllObjects();
  try {
    ReadObjectFile(gInputPath);
  } catch (const EMorvoError&) {
    // The reader's own errors are an accepted outcome.
  }
  FreeAllObjects();
  return 0;
}
