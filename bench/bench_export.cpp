// The export of a large tree of realistic objects against the reader of the
// same file, measured in the same run: exporting 100,000 objects should cost
// at most twice their reading, and ten times the objects at most eleven times
// the export's time. Then the whole "/e" process, on every mix of the
// generator, in a code page and in UTF-16, under every export the program
// ships, one whose templates all go through the formatter and one that writes
// more than twice its file, against "iconv -c | wc -l" on the same file: at
// most 8 times its time, a peak memory of at most 5 times the file, and ten
// times the objects at most 10.5 times the time. The worst mix of each figure
// from 100,000 objects on closes the report. "--huge" runs the processes on 100,000 and 1,000,000
// objects (large ones only on 100,000, and only the formatter's, the large
// and the plain export on 1,000,000) instead of 10,000 and 100,000.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Accessors.h"
#include "AppPaths.h"
#include "ExportEngine.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "support/FreshMemory.h"
#include "support/ObjectFileGenerator.h"
#include "support/RatioReporter.h"
#include "support/Switches.h"

extern char** environ;

namespace {

constexpr benchgen::TObjectMix kInProcessMixes[] = {benchgen::TObjectMix::Small, benchgen::TObjectMix::Large};
constexpr int kMixes = static_cast<int>(std::size(benchgen::kObjectMixes));
const benchgen::TEncoding kEncodings[] = {benchgen::TEncoding::CodePage, benchgen::TEncoding::Utf16};
const char* const kIconvNames[] = {"WINDOWS-1252", "UTF-16LE"};
const char* const kEncodingNames[] = {"code page", "UTF-16"};
const char* MixName(int Mix) { return benchgen::ObjectMixName(benchgen::kObjectMixes[Mix]); }

// The exports of the "/e" processes: the plain one of this benchmark, the
// three the program ships, one through the formatter and one larger than its
// file. On the largest files only those marked run.
struct TProcessExport {
  const char* Name;
  bool OnLargest;
};
constexpr TProcessExport kProcessExports[] = {{"plain", true}, {"html", false}, {"xml", false},
                                              {"txt", false},  {"fmt", true},   {"big", true}};

struct TFixture {
  std::string Folder;
  std::map<std::pair<int, int>, std::string> Files;  // (object count, object mix) -> object file, code page
  // (object count, encoding, object mix) -> object file for the "/e" process
  std::map<std::vector<int>, std::string> ProcessFiles;
  // (object count, encoding, object mix, export) -> the largest peak of its process runs
  std::map<std::vector<int>, long> ProcessPeakKb;
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

std::vector<int> gProcessSizes = {10000, 100000};
// Large objects in a file of a million take gigabytes: the processes run on
// them only up to this count.
constexpr int kMostLargeProcessObjects = 100000;

// An XML-like export over the realistic definitions, its templates plain
// texts around plain directives.
std::string ExportDefinition() {
  std::string cfg =
      "\r\n[plain]\r\n"
      "StartDocLine=<?xml version=\"1.0\"?>\r\nTitleLine=<!-- %s %s %s %s -->\r\nStartBody1=<objects>\r\n"
      "StartBody2=<root name=\"%s\" author=\"%s\" remark=\"%s\"/>\r\nStartBody3=<file name=\"%s\" date=\"%s\" "
      "view=\"%s\"/>\r\nNewLine=&#13;&#10;\r\nEndBody=</objects>\r\nEndDocLine=\r\n";
  for (int n = 1; n <= 4; ++n) {
    const std::string d = std::to_string(n);
    const std::string indent(static_cast<size_t>(n) * 2, ' ');
    cfg += "StartLevel" + d + "=" + indent + "<level n=\"%d\">\r\n";
    cfg += "EndLevel" + d + "=" + indent + "</level>\r\n";
    cfg += "LevelObjectStart" + d + "=" + indent + "<object name=\"%s\" type=\"%s\" image=\"%d\">\r\n";
    cfg += "LevelName" + d + "=" + indent + "  <property name=\"%s\">\r\n";
    cfg += "LevelValueInt" + d + "=" + indent + "    <int>%d</int></property>\r\n";
    cfg += "LevelValueStr" + d + "=" + indent + "    <text>%s</text></property>\r\n";
    cfg += "LevelObjectEnd" + d + "=" + indent + "</object>\r\n";
  }
  // Every template through the formatter: indexes, widths, repeated arguments.
  cfg += "\r\n[fmt]\r\nTranslateXMLStyle=no\r\nStartDocLine=report\r\nTitleLine=%0:s|%1:s|%2:s|%3:s\r\n"
         "StartBody2=%0:-20s %1:s\r\nStartBody3=%2:s %0:s\r\nNewLine=\\n\r\nEndBody=end\r\n";
  for (int n = 1; n <= 9; ++n) {
    const std::string d = std::to_string(n);
    cfg += "StartLevel" + d + "=[%0:2d\r\nEndLevel" + d + "=%0:2d]\r\n";
    cfg += "LevelObjectStart" + d + "=%2:3d %1:-14s %0:s\r\n";
    cfg += "LevelName" + d + "=  %-28s\r\nLevelValueInt" + d + "=    %8d (%0:x)\r\n";
    cfg += "LevelValueStr" + d + "=    %0:s%0:.0s\r\nLevelObjectEnd" + d + "=  .\r\n";
  }
  // Long fixed texts: the export is well over twice the size of its file.
  cfg += "\r\n[big]\r\nStartDocLine=<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\nTitleLine=<!-- %s -->\r\n"
         "StartBody1=<design-objects>\r\nEndBody=</design-objects>\r\n";
  for (int n = 1; n <= 9; ++n) {
    const std::string d = std::to_string(n);
    cfg += "StartLevel" + d + "=<design-level depth=\"%d\" kind=\"nested objects of the design\">\r\n";
    cfg += "EndLevel" + d + "=</design-level><!-- end of the design level %d -->\r\n";
    cfg += "LevelObjectStart" + d +
           "=<design-object name=\"%s\" type=\"%s\" picture=\"%d\" class=\"object-of-the-design\">\r\n";
    cfg += "LevelName" + d + "=<design-property name=\"%s\" class=\"property-of-the-design-object\">\r\n";
    cfg += "LevelValueInt" + d + "=<integer-value>%d</integer-value></design-property>\r\n";
    cfg += "LevelValueStr" + d + "=<text-value>%s</text-value></design-property>\r\n";
    cfg += "LevelObjectEnd" + d + "=</design-object>\r\n";
  }
  // The exports the program ships, as it ships them.
  std::ifstream shipped(std::filesystem::path(ExecutablePath()).parent_path() / "MorvoObject.cfg", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
  for (const char* name : {"html", "xml", "txt"}) {
    const size_t at = text.find("\n[" + std::string(name) + "]");
    if (at == std::string::npos) {
      std::fprintf(stderr, "the shipped export %s is not beside the benchmark\n", name);
      std::abort();
    }
    cfg += text.substr(at, text.find("\n[", at + 1) - at);
  }
  return cfg;
}

std::string ProcessOutputs() {
  std::string list;
  for (const TProcessExport& x : kProcessExports) list += std::string(list.empty() ? "" : ",") + x.Name;
  return list;
}

void Setup() {
  TFixture& f = Fixture();
  f.Folder = benchgen::MakeWorkFolder("bench_export");
  benchgen::WriteRealisticDefinitions(f.Folder, ExportDefinition(), ProcessOutputs());
  for (int n : {10000, 100000})
    for (int s = 0; s < 2; ++s) {
      const std::string path =
          f.Folder + "objects" + std::to_string(n) + benchgen::ObjectMixName(kInProcessMixes[s]) + ".obj";
      f.Files[{n, s}] = path;
      benchgen::WriteText(
          path, benchgen::EncodeRealistic(benchgen::MakeObjects(kInProcessMixes[s], n, "the export benchmark"),
                                          benchgen::TEncoding::CodePage));
    }
  // The "/e" process reads the definitions beside its executable: a copy of
  // the program goes into the folder, with the files to export.
  const std::filesystem::path program = std::filesystem::path(ExecutablePath()).parent_path() / "morvo-reader";
  std::filesystem::copy_file(program, f.Folder + "morvo-reader");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);  // headless, as a user's script runs it
  for (int n : gProcessSizes)
    for (int s = 0; s < kMixes; ++s) {
      if (benchgen::kObjectMixes[s] == benchgen::TObjectMix::Large && n > kMostLargeProcessObjects) continue;
      const std::string text = benchgen::MakeObjects(benchgen::kObjectMixes[s], n, "the /e process");
      for (int e = 0; e < 2; ++e) {
        const std::string path =
            f.Folder + "process" + std::to_string(n) + "-" + std::to_string(e) + "-" + MixName(s) + ".obj";
        f.ProcessFiles[{n, e, s}] = path;
        benchgen::WriteText(path, benchgen::EncodeRealistic(text, kEncodings[e]));
      }
    }
}

const std::string& ProcessFile(const benchmark::State& state) {
  return Fixture().ProcessFiles[{static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                 static_cast<int>(state.range(2))}];
}

// A child inherits its parent's resident size as the start of its peak, so
// the "/e" process is started by a fresh process of this program (small),
// which reports the peak resident size of the "/e" process in KiB and its
// wall time in seconds ("-1 -1" when it could not run or failed).
int MeasureChild(char** Argv) {
  const auto start = std::chrono::steady_clock::now();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int rc = posix_spawn(&pid, Argv[0], &actions, nullptr, Argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (rc != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("-1 -1\n");
    return 0;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%ld %.6f\n", usage.ru_maxrss, took.count());
  return 0;
}

struct TChildRun {
  long PeakKb = -1;
  double Seconds = -1;
};

TChildRun RunProgram(const std::vector<std::string>& Args) {
  std::string command = "'" + ExecutablePath() + "' --measure-child";
  for (const std::string& a : Args) command += " '" + a + "'";
  TChildRun r;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return r;
  if (std::fscanf(out, "%ld %lf", &r.PeakKb, &r.Seconds) != 2) r = TChildRun();
  pclose(out);
  return r;
}

// Runs a command line through the shell; the benchmark stops on a failure.
void RunShell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// The program's "/e" switch, headless, as a user's script runs it.
// range: object count, encoding, object mix, export.
void BM_ExportProcess(benchmark::State& state) {
  TFixture& f = Fixture();
  const std::string& file = ProcessFile(state);
  const char* exportName = kProcessExports[state.range(3)].Name;
  long& peak = f.ProcessPeakKb[{static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                static_cast<int>(state.range(2)), static_cast<int>(state.range(3))}];
  WriteRegString("DefaultExport", exportName);
  for (auto _ : state) {
    const TChildRun run = RunProgram({f.Folder + "morvo-reader", "/e", file});
    if (run.PeakKb < 0) {
      state.SkipWithError("the /e process failed");
      break;
    }
    state.SetIterationTime(run.Seconds);
    peak = std::max(peak, run.PeakKb);
  }
  const std::string written = ExportFileName(file, exportName);
  if (!std::filesystem::exists(written) || std::filesystem::file_size(written) == 0)
    state.SkipWithError("the /e process wrote no export");
  state.counters["export/file"] =
      static_cast<double>(std::filesystem::file_size(written)) / static_cast<double>(std::filesystem::file_size(file));
  std::filesystem::remove(written);
}

// The least any tool does with the file: decode it and count its lines. An
// unpaired surrogate or an unmapped byte must not end the decoding early.
void BM_IconvWcProcess(benchmark::State& state) {
  const std::string encoding = kIconvNames[state.range(1)];
  for (auto _ : state)
    RunShell(state, "iconv -c -f " + encoding + " -t UTF-8 '" + ProcessFile(state) + "' | wc -l > /dev/null");
}

// Every generated object must be read, or the ratios compare unlike work.
void Load(int Objects, int Size) {
  FreeAllObjects();
  if (ReadObjectFile(Fixture().Files[{Objects, Size}]) <= 0 || !gAllObjects || gAllObjects->Count() < Objects) {
    std::fprintf(stderr, "the generated file of %d objects did not read whole\n", Objects);
    std::abort();
  }
}

// range: object count, object mix.
void BM_Read(benchmark::State& state) {
  const int objects = static_cast<int>(state.range(0)), size = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    FreeAllObjects();
    benchgen::GiveMemoryBack();
    state.ResumeTiming();
    Load(objects, size);
  }
  state.SetItemsProcessed(state.iterations() * objects);
}

void BM_Export(benchmark::State& state) {
  const int objects = static_cast<int>(state.range(0)), size = static_cast<int>(state.range(1));
  Load(objects, size);
  SetExtraFields("");
  SetFieldFilter("*");
  SetViewMode(0);
  TObjectTree tree;
  FillObjectTree(tree, TTreeOrder::Semantic, {});
  TExportSource source;
  source.Tree = &tree;
  source.Caption = "objects.obj - Morvo Object Reader";
  source.AppTitle = "Morvo Object Reader";
  source.LoadedFileName = Fixture().Files[{objects, size}];
  source.CurrentView = "All";
  source.Today = "2026-12-07";
  const std::string target = Fixture().Folder + "objects.plain";
  for (auto _ : state) {
    state.PauseTiming();
    benchgen::GiveMemoryBack();
    state.ResumeTiming();
    const TExportResult r = SaveCurrentViewToFile(target, "plain", source);
    if (r.Outcome != TExportOutcome::Written) {
      state.SkipWithError(r.Message.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * objects);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(target));
}

void RegisterBenchmarks() {
  for (int s = 0; s < 2; ++s) {
    benchmark::RegisterBenchmark("BM_Read", BM_Read)
        ->Args({100000, s})
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2.0)
        ->Repetitions(3);
    for (int n : {10000, 100000})
      benchmark::RegisterBenchmark("BM_Export", BM_Export)
          ->Args({n, s})
          ->Unit(benchmark::kMillisecond)
          ->MinTime(2.0)
          ->Repetitions(3);
  }
  // The processes alternate with their baseline, so a load that comes and
  // goes on the machine weighs on both alike.
  for (const auto& [key, file] : Fixture().ProcessFiles) {
    const bool huge = key[0] > 100000;
    auto process = [&](const char* Name, void (*Function)(benchmark::State&), std::vector<int64_t> Args) {
      return benchmark::RegisterBenchmark(Name, Function)
          ->Args(Args)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(huge ? 0.1 : 1.0)
          ->Repetitions(huge ? 2 : 3);
    };
    process("BM_IconvWcProcess", BM_IconvWcProcess, {key[0], key[1], key[2]})->UseRealTime();
    for (int x = 0; x < static_cast<int>(std::size(kProcessExports)); ++x)
      if (!huge || kProcessExports[x].OnLargest)
        process("BM_ExportProcess", BM_ExportProcess, {key[0], key[1], key[2], x})->UseManualTime();
  }
}

constexpr int kGoalObjects = 100000;

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios of this run:\n");
  for (int s = 0; s < 2; ++s) {
    const std::string arg = "/" + std::to_string(s);
    std::printf(" %s objects:\n", benchgen::ObjectMixName(kInProcessMixes[s]));
    Reporter.PrintRatio("export of 100,000 objects / reading them (at most 2)", "BM_Export/100000" + arg,
                        "BM_Read/100000" + arg);
    Reporter.PrintRatio("export of 100,000 / of 10,000 objects (at most 11)", "BM_Export/100000" + arg,
                        "BM_Export/10000" + arg);
  }
  const int small = gProcessSizes.front(), large = gProcessSizes.back();
  benchgen::TWorst time, peak, growth;
  auto args = [](std::initializer_list<int> Values) {
    std::string text;
    for (int v : Values) text += "/" + std::to_string(v);
    return text;
  };
  for (const auto& [key, file] : Fixture().ProcessFiles) {
    const double mb = static_cast<double>(std::filesystem::file_size(file)) / 1024.0;
    const double iconv = Reporter.Seconds("BM_IconvWcProcess" + args({key[0], key[1], key[2]}));
    for (int x = 0; x < static_cast<int>(std::size(kProcessExports)); ++x) {
      const double seconds = Reporter.Seconds("BM_ExportProcess" + args({key[0], key[1], key[2], x}));
      if (seconds <= 0 || iconv <= 0) continue;
      char where[96];
      std::snprintf(where, sizeof where, "%d %s, %s, %s", key[0], MixName(key[2]), kEncodingNames[key[1]],
                    kProcessExports[x].Name);
      const long kb = Fixture().ProcessPeakKb[{key[0], key[1], key[2], x}];
      std::printf("  \"/e\" %-40s %6.2fx iconv -c | wc -l, peak %5.2fx the file", where, seconds / iconv,
                  static_cast<double>(kb) / mb);
      // The goals hold from 100,000 objects on: below that the start-up and
      // the libraries' own memory outweigh the file.
      if (key[0] >= kGoalObjects) {
        time.Take(seconds / iconv, where);
        peak.Take(static_cast<double>(kb) / mb, where);
      }
      const double larger = Reporter.Seconds("BM_ExportProcess" + args({large, key[1], key[2], x}));
      if (key[0] == small && larger > 0) {
        std::printf(", ten times the objects %5.2fx", larger / seconds);
        growth.Take(larger / seconds, where);
      }
      std::printf("\n");
    }
  }
  std::printf("\nWorst mix:\n");
  time.Print("\"/e\" / iconv -c | wc -l", "<= 8");
  peak.Print("\"/e\" peak memory / the file", "<= 5");
  growth.Print("\"/e\" on ten times the objects / on these", "<= 10.5");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--measure-child") return MeasureChild(argv + 2);
  TuneMemoryAllocator();  // as the program does at start
  if (benchgen::TakeSwitch(argc, argv, "--huge")) gProcessSizes = {100000, 1000000};
  benchmark::Initialize(&argc, argv);
  Setup();
  RegisterBenchmarks();
  benchgen::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  FreeAllObjects();
  // BENCH_KEEP leaves the folder for a profiler: "/e" can be run on it again.
  if (!std::getenv("BENCH_KEEP")) std::filesystem::remove_all(Fixture().Folder);
  benchmark::Shutdown();
  return 0;
}
