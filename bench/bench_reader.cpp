// Reading object files of 1,000, 10,000 and 100,000 objects (with links,
// nested blocks and property collections), against a baseline measured in the
// same run: decoding the same file and splitting it into lines. Prints the
// reader's time as a multiple of the baseline, its growth from 10,000 to
// 100,000 objects, and the time and peak memory of a first read in a fresh
// process of this program.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "AppPaths.h"
#include "CodePage.h"
#include "MorvoError.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "StringUtil.h"

extern char** environ;

namespace {

const int kSizes[] = {1000, 10000, 100000};
std::string gFolder;

std::string FileFor(int objects) { return gFolder + "/objects-" + std::to_string(objects) + ".dcl"; }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<size_t>(std::filesystem::file_size(path)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

std::string Guid(int i) { return "{B0" + std::to_string(1000000 + i) + "-4E2A-9C1D-00" + std::to_string(i % 97) + "}"; }

// An object file as a design tool writes it: every top-level object has a
// GUID, a name and some values; every fifth keeps values in a property
// collection, every tenth nests two child blocks, and most link to objects
// written before them.
std::string MakeObjectFile(int objects) {
  std::string s = "xVersion 5.2.1 build 7\r\nGenerated for the reader benchmark\r\n!!EndOfControl\r\n";
  s.reserve(static_cast<size_t>(objects) * 700);
  const char* types[] = {"PLAIN", "SEGA", "ELEMENT", "HOLDER"};
  for (int i = 0; i < objects; ++i) {
    s += "OBJECT TYPE=\"";
    s += types[i % 4];
    s += "\" NAME=\"Object " + std::to_string(i) + "\" DELIM=;\r\n";
    s += "0010 \"" + Guid(i) + "\"\r\n";
    s += "0001 \"Object " + std::to_string(i) + "\"\r\n";
    s += "0012 'ABCDEFGHIJ\"a design value of object " + std::to_string(i) + "\" \"run\"'\r\n";
    s += "0020 'ABCDEFGHIJ\"" + std::to_string(i * 7) + "\"'\r\n";
    s += "0030 'ABCDEFGHIJ2 \"first line\" \"second line\"'\r\n";
    s += "0191 'ABCDEFGHIJ1   '\r\n";
    s += "0215 'ABCDEFGHIJ\"C:\\Designs\\Forms\\form" + std::to_string(i) + ".fmt\"'\r\n";
    if (i % 5 == 0) {
      s += "  OBJECT TYPE=\"PropertyCollection\" NAME=\"Values\" DELIM=;\r\n  {\r\n";
      s += "  0300 'ABCDEFGHIJ\"collected value\"'\r\n  0301 'ABCDEFGHIJ\"another value\"'\r\n  }\r\n";
    }
    if (i % 10 == 0) {
      for (int c = 0; c < 2; ++c) {
        s +=
            "  OBJECT TYPE=\"PLAIN\" NAME=\"Child " + std::to_string(c) + " of " + std::to_string(i) + "\" DELIM=;\r\n";
        s += "  0010 \"" + Guid(i) + "-" + std::to_string(c) + "\"\r\n";
        s += "  0012 'ABCDEFGHIJ\"a nested value\"'\r\n  }\r\n";
      }
      s += "0040 'ABCDEFGHIJ\"after the children\"'\r\n";
    }
    if (i > 0 && i % 4 != 3) {
      // Link to two earlier objects, one of them in other letter case.
      s += "2 \"" + Guid(i / 2) + "\" \"" + LowerAscii(Guid(i - 1)) + "\";\r\n";
    }
    s += "}\r\n";
  }
  return s;
}

void SetUpFolder() {
  char templ[] = "/tmp/morvo-bench-reader.XXXXXX";
  if (!mkdtemp(templ)) std::abort();
  gFolder = templ;
  // The reader asks the settings store for the code page: keep that store in
  // the benchmark's own folder, away from the user's settings.
  setenv("XDG_CONFIG_HOME", (gFolder + "/config").c_str(), 1);
  WriteFile(gFolder + "/ObjectTypNum.txt", "0200 PLAIN\r\n0301 HOLDER\r\n0401 SEGA\r\n0501 ELEMENT\r\n");
  WriteFile(gFolder + "/ObjectProperties.txt", "0001=Name\r\n0010=GUID\r\n0012=Text\r\n");
  WriteFile(gFolder + "/MorvoObject.cfg",
            "[Settings]\r\nRuntimes=12\r\nSpecials=191\r\nMultiLine=30\r\nIntValues=20\r\n");
  SetExecutableFolderOverride(gFolder + "/");
  for (int n : kSizes) WriteFile(FileFor(n), MakeObjectFile(n));
}

// The baseline: what any reader of the file must do at least.
void BM_DecodeAndSplit(benchmark::State& state) {
  const std::string path = FileFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::string text = DecodeToUtf8(ReadFile(path), "windows-1252");
    auto lines = SplitLines(text);
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_ReadObjectFile(benchmark::State& state) {
  const std::string path = FileFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const int result = ReadObjectFile(path);
    if (result <= 0) state.SkipWithError("the file was not read");
    state.PauseTiming();
    FreeAllObjects();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}

// Three repetitions of at least two seconds each; the summary takes the
// fastest of them for both, since a loaded machine only ever adds time.
BENCHMARK(BM_DecodeAndSplit)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->Repetitions(3);
BENCHMARK(BM_ReadObjectFile)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->Repetitions(3);

// Keeps the processor time per iteration of every run for the summary: on a
// shared machine it varies far less than the wall-clock time.
class TCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
      const double perIteration = r.cpu_accumulated_time / static_cast<double>(r.iterations);
      const std::string name = r.run_name.function_name + "/" + r.run_name.args;
      const auto it = Seconds.find(name);
      if (it == Seconds.end() || perIteration < it->second) Seconds[name] = perIteration;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Seconds;
};

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

// Child mode: reads one file as the first read of a fresh process and prints
// the growth of the peak resident size and the processor time of the read.
int MeasureFreshRead(const std::string& folder, const std::string& path) {
  SetExecutableFolderOverride(folder + "/");
  const long before = StatusKb("VmHWM");
  const std::clock_t start = std::clock();
  const int result = ReadObjectFile(path);
  const double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const long after = StatusKb("VmHWM");
  std::printf("%ld %.3f\n", result > 0 ? after - before : -1, ms);
  return 0;
}

struct TFreshRead {
  long PeakKb = -1;
  double Ms = -1;
};

TFreshRead FreshRead(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return TFreshRead();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string mode = "--fresh-read";
  std::vector<char*> argv = {self.data(), mode.data(), gFolder.data(), const_cast<char*>(path.c_str()), nullptr};
  pid_t pid;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  TFreshRead r;
  if (rc != 0) {
    close(fds[0]);
    return r;
  }
  char buf[128] = {0};
  const ssize_t got = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got > 0 && std::sscanf(buf, "%ld %lf", &r.PeakKb, &r.Ms) != 2) r = TFreshRead();
  return r;
}

void PrintSummary(const TCollectingReporter& rep) {
  auto t = [&](const char* name, int n) {
    const auto it = rep.Seconds.find(std::string(name) + "/" + std::to_string(n));
    return it == rep.Seconds.end() ? -1.0 : it->second;
  };
  std::printf("\nReader against the baseline (decode and split the same file):\n");
  for (int n : kSizes) {
    const double base = t("BM_DecodeAndSplit", n), read = t("BM_ReadObjectFile", n);
    if (base <= 0 || read <= 0) continue;
    std::printf("  %6d objects: baseline %8.2f ms, reader %8.2f ms, ratio %5.2f (goal <= 5)\n", n, base * 1e3,
                read * 1e3, read / base);
  }
  const double r10 = t("BM_ReadObjectFile", 10000), r100 = t("BM_ReadObjectFile", 100000);
  if (r10 > 0 && r100 > 0) std::printf("Growth from 10,000 to 100,000 objects: %.2fx (goal <= 11x)\n", r100 / r10);
  // The first read in a fresh process: every size pays for memory the heap
  // has not had yet (the repeated reads above reuse the heap of the one
  // before, which only the smaller files fit into).
  std::printf("First read in a fresh process:\n");
  std::map<int, TFreshRead> fresh;
  std::map<int, double> mb;
  for (int n : kSizes) {
    mb[n] = static_cast<double>(std::filesystem::file_size(FileFor(n))) / (1024.0 * 1024.0);
    fresh[n] = FreshRead(FileFor(n));
    if (fresh[n].PeakKb < 0) continue;
    std::printf(
        "  %6d objects: file %7.2f MB, read %8.2f ms, peak memory growth %8.2f MB = %.2fx the file (goal <= 6x)\n", n,
        mb[n], fresh[n].Ms, fresh[n].PeakKb / 1024.0, fresh[n].PeakKb / 1024.0 / mb[n]);
  }
  if (fresh[10000].Ms > 0 && fresh[100000].Ms > 0)
    std::printf("Growth of the first read from 10,000 to 100,000 objects: %.2fx (goal <= 11x)\n",
                fresh[100000].Ms / fresh[10000].Ms);
  if (fresh[1000].PeakKb > 0 && fresh[100000].PeakKb > 0)
    std::printf("Peak memory per MB of file beyond the fixed start-up cost (1,000 to 100,000 objects): %.2fx\n",
                (fresh[100000].PeakKb - fresh[1000].PeakKb) / 1024.0 / (mb[100000] - mb[1000]));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--fresh-read") return MeasureFreshRead(argv[2], argv[3]);
  TuneMemoryAllocator();  // as the program does at start
  SetUpFolder();
  benchmark::Initialize(&argc, argv);
  TCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(gFolder);
  return 0;
}
