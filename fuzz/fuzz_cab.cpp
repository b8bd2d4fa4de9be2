// libFuzzer harness for the cabinet writer, as a round trip: the input
// describes some files, the writer packs them into a cabinet, and cabextract
// must give every file back byte for byte. Anything else (a crash, a refused
// cabinet, other bytes) is a finding.
//
// The input format is described in CabFuzzInput.h.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CabFuzzInput.h"
#include "CabWriter.h"
#include "WholeFile.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;

std::string gWork;

bool Extract(const std::string& Cab, const std::string& Folder) {
  std::string quiet = "-q", dash = "-d", folder = Folder, cab = Cab, tool = "cabextract";
  char* argv[] = {tool.data(), quiet.data(), dash.data(), folder.data(), cab.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "cabextract", nullptr, nullptr, argv, environ) != 0) std::abort();
  int status = 0;
  // libFuzzer's timer signal interrupts the wait.
  pid_t waited;
  while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (waited != pid) std::abort();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In the run's own temporary folder (fuzz/run.sh sets TMPDIR), removed
  // when the run ends; a crash leaves it to fuzz/run.sh.
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/morvo-fuzz-cab.XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  gWork = folder;
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(gWork, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const TCabFuzzCase input = DecodeCabFuzzInput(Data, Size);
  fs::remove_all(gWork);
  fs::create_directories(gWork + "/out");
  const std::string cab = gWork + "/t.cab";
  TCabWriter writer;
  writer.SetFramePayloadLimitForTesting(input.PayloadLimit);
  if (!writer.Create(cab)) std::abort();
  for (size_t f = 0; f < input.Files.size(); ++f) {
    const std::string source = gWork + "/in" + std::to_string(f);
    std::ofstream(source, std::ios::binary)
        .write(input.Files[f].data(), static_cast<std::streamsize>(input.Files[f].size()));
    if (!writer.AddFile(source, "f" + std::to_string(f))) std::abort();
    if (input.FolderEach && !writer.FlushFolder()) std::abort();
  }
  if (!writer.FlushCabinet()) std::abort();
  if (!Extract(cab, gWork + "/out")) std::abort();
  for (size_t f = 0; f < input.Files.size(); ++f) {
    std::string extracted;
    ReadRegularFile(gWork + "/out/f" + std::to_string(f), extracted);
    if (extracted != input.Files[f]) std::abort();
  }
  return 0;
}
