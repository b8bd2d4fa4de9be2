// The export of a large tree of realistic objects against the reader of the
// same file, measured in the same run: exporting 100,000 objects should cost
// at most twice their reading, and ten times the objects at most eleven times
// the export's time. The whole "/e" process on 20,000 objects of a UTF-16
// file should cost at most 15 times "iconv | wc -l" on the same file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "AppPaths.h"
#include "ExportEngine.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "support/FreshMemory.h"
#include "support/ObjectFileGenerator.h"
#include "support/RatioReporter.h"

namespace {

struct TFixture {
  std::string Folder;
  std::map<int, std::string> Files;  // object count -> object file
  std::string ProcessFile;           // UTF-16, for the "/e" process
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

constexpr int kProcessObjects = 20000;

// An XML-like export over the realistic definitions.
std::string ExportDefinition() {
  std::string cfg =
      "\r\n[xml]\r\n"
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
  return cfg;
}

void Setup() {
  TFixture& f = Fixture();
  f.Folder = benchgen::MakeWorkFolder("bench_export");
  benchgen::WriteRealisticDefinitions(f.Folder, ExportDefinition());
  for (int n : {10000, 100000}) {
    f.Files[n] = f.Folder + "objects" + std::to_string(n) + ".obj";
    benchgen::WriteText(f.Files[n], benchgen::EncodeRealistic(benchgen::MakeRealisticObjects(n, "the export benchmark"),
                                                              benchgen::TEncoding::CodePage));
  }
  // The "/e" process reads the definitions beside its executable: a copy of
  // the program goes into the folder, with a UTF-16 file to export.
  const std::filesystem::path program = std::filesystem::path(ExecutablePath()).parent_path() / "morvo-reader";
  std::filesystem::copy_file(program, f.Folder + "morvo-reader");
  f.ProcessFile = f.Folder + "process.obj";
  benchgen::WriteText(f.ProcessFile,
                      benchgen::EncodeRealistic(benchgen::MakeRealisticObjects(kProcessObjects, "the /e process"),
                                                benchgen::TEncoding::Utf16));
}

// Runs a command line through the shell; the benchmark stops on a failure.
void RunShell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// The program's "/e" switch, headless, as a user's script runs it.
void BM_ExportProcess(benchmark::State& state) {
  const TFixture& f = Fixture();
  for (auto _ : state)
    RunShell(state,
             "QT_QPA_PLATFORM=offscreen '" + f.Folder + "morvo-reader' /e '" + f.ProcessFile + "' > /dev/null 2>&1");
  const std::string written = ExportFileName(f.ProcessFile, "xml");
  if (!std::filesystem::exists(written) || std::filesystem::file_size(written) == 0)
    state.SkipWithError("the /e process wrote no export");
}

// The least any tool does with the file: decode it and count its lines.
void BM_IconvWcProcess(benchmark::State& state) {
  for (auto _ : state)
    RunShell(state, "iconv -f UTF-16LE -t UTF-8 '" + Fixture().ProcessFile + "' | wc -l > /dev/null");
}

// Every generated object must be read, or the ratios compare unlike work.
void Load(int Objects) {
  FreeAllObjects();
  if (ReadObjectFile(Fixture().Files[Objects]) <= 0 || !gAllObjects || gAllObjects->Count() < Objects) {
    std::fprintf(stderr, "the generated file of %d objects did not read whole\n", Objects);
    std::abort();
  }
}

void BM_Read(benchmark::State& state) {
  const int objects = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    FreeAllObjects();
    benchgen::GiveMemoryBack();
    state.ResumeTiming();
    Load(objects);
  }
  state.SetItemsProcessed(state.iterations() * objects);
}

void BM_Export(benchmark::State& state) {
  const int objects = static_cast<int>(state.range(0));
  Load(objects);
  SetExtraFields("");
  SetFieldFilter("*");
  SetViewMode(0);
  TObjectTree tree;
  FillObjectTree(tree, TTreeOrder::Semantic, {});
  TExportSource source;
  source.Tree = &tree;
  source.Caption = "objects.obj - Morvo Object Reader";
  source.AppTitle = "Morvo Object Reader";
  source.LoadedFileName = Fixture().Files[objects];
  source.CurrentView = "All";
  source.Today = "2026-12-07";
  const std::string target = Fixture().Folder + "objects.xml";
  for (auto _ : state) {
    state.PauseTiming();
    benchgen::GiveMemoryBack();
    state.ResumeTiming();
    const TExportResult r = SaveCurrentViewToFile(target, "xml", source);
    if (r.Outcome != TExportOutcome::Written) {
      state.SkipWithError(r.Message.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * objects);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(target));
}

BENCHMARK(BM_Read)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(3);
BENCHMARK(BM_Export)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(3);
BENCHMARK(BM_ExportProcess)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_IconvWcProcess)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios of this run:\n");
  Reporter.PrintRatio("export of 100,000 objects / reading them (at most 2)", "BM_Export/100000", "BM_Read/100000");
  Reporter.PrintRatio("export of 100,000 / of 10,000 objects (at most 11)", "BM_Export/100000", "BM_Export/10000");
  Reporter.PrintRatio("\"/e\" process on 20,000 objects / iconv | wc -l (at most 15)", "BM_ExportProcess",
                      "BM_IconvWcProcess");
}

}  // namespace

int main(int argc, char** argv) {
  TuneMemoryAllocator();  // as the program does at start
  benchmark::Initialize(&argc, argv);
  Setup();
  benchgen::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  FreeAllObjects();
  std::filesystem::remove_all(Fixture().Folder);
  benchmark::Shutdown();
  return 0;
}
