// libFuzzer harness for the cabinet writer, as a round trip: the input
// describes some files, the writer packs them into a cabinet, and cabextract
// must give every file back byte for byte. Anything else (a crash, a refused
// cabinet, other bytes) is a finding.
//
// Input: one byte of settings, then pieces. A piece byte below 0x80 copies
// the next (byte + 1) bytes; any other repeats its next 1 to 4 bytes into a
// run of 4 KiB to 128 KiB, so that short inputs reach long runs that cross
// frames and the encoder's buffer.
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

#include "CabWriter.h"
#include "WholeFile.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;

constexpr size_t kMaxBytes = 3u << 20;
std::string gWork;

std::string Expand(const uint8_t* Data, size_t Size) {
  std::string out;
  size_t i = 0;
  while (i < Size && out.size() < kMaxBytes) {
    const uint8_t c = Data[i++];
    if (c < 0x80) {
      const size_t n = std::min<size_t>(c + 1u, Size - i);
      out.append(reinterpret_cast<const char*>(Data + i), n);
      i += n;
      continue;
    }
    const size_t period = std::min<size_t>((c & 3u) + 1u, Size - i);
    if (period == 0) break;
    const std::string unit(reinterpret_cast<const char*>(Data + i), period);
    i += period;
    for (size_t left = (((c >> 2) & 31u) + 1u) * 4096u; left > 0 && out.size() < kMaxBytes; --left)
      out += unit[left % period];
  }
  return out;
}

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
  char folder[] = "/tmp/morvo-fuzz-cab.XXXXXX";
  if (!mkdtemp(folder)) std::abort();
  gWork = folder;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const uint8_t settings = Data[0];
  const std::string bytes = Expand(Data + 1, Size - 1);
  // Up to four files of equal parts; each in a folder of its own or all in one.
  const size_t files = (settings & 3u) + 1u;
  const bool folderEach = settings & 4u;
  fs::remove_all(gWork);
  fs::create_directories(gWork + "/out");
  const std::string cab = gWork + "/t.cab";
  TCabWriter writer;
  // Forces uncompressed frames between compressed ones.
  if (settings & 8u) writer.SetFramePayloadLimitForTesting(1024u << ((settings >> 4) & 7u));
  if (!writer.Create(cab)) std::abort();
  std::vector<std::string> parts;
  for (size_t f = 0; f < files; ++f) {
    const size_t from = bytes.size() * f / files, to = bytes.size() * (f + 1) / files;
    parts.push_back(bytes.substr(from, to - from));
    const std::string source = gWork + "/in" + std::to_string(f);
    std::ofstream(source, std::ios::binary)
        .write(parts.back().data(), static_cast<std::streamsize>(parts.back().size()));
    if (!writer.AddFile(source, "f" + std::to_string(f))) std::abort();
    if (folderEach && !writer.FlushFolder()) std::abort();
  }
  if (!writer.FlushCabinet()) std::abort();
  if (!Extract(cab, gWork + "/out")) std::abort();
  for (size_t f = 0; f < files; ++f) {
    std::string extracted;
    ReadRegularFile(gWork + "/out/f" + std::to_string(f), extracted);
    if (extracted != parts[f]) std::abort();
  }
  return 0;
}
