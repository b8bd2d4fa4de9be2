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

void RemoveInputFile() { std::remove(gInputPath.c_str()); }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetExecutableFolderOverride(std::string(FUZZ_DEFS_DIR) + "/");
  // In the run's own temporary folder (fuzz/run.sh sets TMPDIR), removed
  // when the run ends; a crash leaves it to fuzz/run.sh.
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/morvo-fuzz-input.XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  close(fd);
  gInputPath = path;
  std::atexit(RemoveInputFile);
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
