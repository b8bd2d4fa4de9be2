// A whole "/p" on a project folder as design tools leave it, against the
// system's archivers run as whole processes on the same files: the cab
// against `gcab -c -z`, the zip against `zip -9 -r`. The folder holds a
// main object file of 100,000 small objects (about 280 bytes each, in
// windows-1252), three more object files, a map and a bitmap, 40 to 69 MB
// in all; the main file names the others. Besides the time ratios the
// program prints the archives' size ratios, and the cab writer alone (in
// this process) against gcab.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Accessors.h"
#include "AppPaths.h"
#include "MorvoObject.h"
#include "PackagerArchive.h"
#include "PackagerFileList.h"
#include "support/FreshMemory.h"
#include "support/ObjectFileGenerator.h"
#include "support/RatioReporter.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot;     // work folder, with a trailing "/"
std::string gProject;  // the project folder, with a trailing "/"
std::string gMain;     // the main object file
std::map<std::string, double> gSize;

// The files the main object file names, below the project folder.
const char* const kNamed[] = {"fun/Totals.fun", "seg/Letter.seg", "dev/Printer.dev", "map/Codes.map", "bmp/Logo.bmp"};

// Small objects as design tools write them: short property lines, a long
// value now and then, many links. Groups of ten objects: a form holding
// elements, each element two fields. Scripts call user functions.
std::string SmallObjects(int Objects, const std::string& Purpose, uint32_t Seed) {
  benchgen::TObjectFileBuilder file(Purpose, static_cast<size_t>(Objects) * 300);
  uint32_t rng = Seed;
  const auto next = [&rng]() {
    rng = rng * 1664525u + 1013904223u;
    return rng >> 8;
  };
  int serial = 0;
  const auto guid = [](int n) { return "R" + std::to_string(n); };
  const auto object = [&](const char* Type, const char* Name) {
    const int n = serial++;
    file.Begin(Type, std::string(Name) + " " + std::to_string(n));
    file.Guid(guid(n));
    file.Line("0001 |0000000000'" + std::string(Name).substr(0, 3) + std::to_string(n) + "'|");
    file.Line("0012 |0000000000'Text " + std::to_string(n) + "' 'rt " + std::to_string(n % 50) + "'|");
    file.Line("0020 |0000000000" + std::to_string(next() % 2000) + "   |");
    file.Line(std::string("0191 |0000000000") + (n % 3 ? "1" : "0") + "   |");
    if (n % 4 == 0) file.Line("0230 |0000000000" + std::to_string(n % 4) + "   |");
    if (n % 9 == 0) file.Line("0004 |0000000000'x = Total" + std::to_string(n % 40) + "(a) + MAX(b)'|");
    if (n % 11 == 0)
      file.Line(
          "0040 |0000000000'Stra\xDF"
          "e and caf\xE9 note " +
          std::to_string(next() % 100000) + ", printed on every page after the first'|");
    return n;
  };
  while (serial < Objects) {
    const int form = object("FORM_SHEET", "Formular");
    for (int e = 0; e < 3 && serial < Objects; ++e) {
      const int element = object("DOC_ELEMENT", "Element");
      for (int f = 0; f < 2; ++f) {
        object(f == 0 ? "FIELD_TEXT" : "FIELD_NUMBER", "Feld");
        file.Links({guid(element), guid(form)});
        file.End();
      }
      file.Links({guid(element + 1), guid(element + 2), guid(static_cast<int>(next() % (serial + 1)))});
      file.End();
    }
    file.End();
  }
  return file.Text();
}

// The main file: its objects, and the list of the project's other files.
std::string MainObjectFile() {
  std::string text = SmallObjects(100000, "the packager benchmark", 1);
  text += "OBJECT TYPE=\"EXT_FILES\" NAME=\"Files\" DELIM=;\r\n";
  for (const char* named : kNamed) {
    std::string windows = std::string("C:\\Project\\") + named;
    for (char& c : windows)
      if (c == '/') c = '\\';
    text += "0101 '" + windows + "'\r\n";
  }
  return text + "}\r\n";
}

// Code mappings, one per line, as a map file holds them.
std::string MapFile() {
  std::string text = "; code map\r\n";
  for (int k = 0; text.size() < (3u << 20); ++k) {
    char line[96];
    std::snprintf(line, sizeof line, "%05d=%04X %04X ; entry %d of table %d\r\n", k, k * 7 % 65536,
                  (k * 131 + 17) % 65536, k % 256, k / 256);
    text += line;
  }
  return text;
}

// A 24-bit letterhead: white paper, coloured bars, a gradient band and
// scattered dark dots like small print.
std::string BitmapFile() {
  const int width = 1200, height = 900, stride = width * 3;
  const uint32_t pixels = static_cast<uint32_t>(stride * height);
  std::string bmp(54, '\0');
  const auto put32 = [&bmp](size_t At, uint32_t V) {
    for (int b = 0; b < 4; ++b) bmp[At + b] = static_cast<char>(V >> (8 * b));
  };
  bmp[0] = 'B', bmp[1] = 'M';
  put32(2, 54 + pixels);
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  bmp[26] = 1, bmp[28] = 24;
  put32(34, pixels);
  std::string data(pixels, '\xFF');
  uint32_t rng = 7;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char* p = reinterpret_cast<unsigned char*>(&data[static_cast<size_t>(y * stride + x * 3)]);
      if (y < 120 && x > 80 && x < 500) p[0] = 160, p[1] = 60, p[2] = 20;
      if (y >= 150 && y < 230) p[0] = static_cast<unsigned char>(x * 255 / width), p[1] = 200, p[2] = 255 - p[0];
      rng = rng * 1664525u + 1013904223u;
      if (y > 300 && (rng >> 24) < 12) p[0] = p[1] = p[2] = static_cast<unsigned char>(rng >> 16 & 63);
    }
  return bmp + data;
}

void MakeProject() {
  gProject = gRoot + "project/";
  for (const char* sub : {"forms", "fun", "seg", "dev", "map", "bmp"}) fs::create_directories(gProject + sub);
  gMain = gProject + "forms/Project.dcl";
  benchgen::WriteText(gMain, MainObjectFile());
  benchgen::WriteText(gProject + kNamed[0], SmallObjects(30000, "functions", 2));
  benchgen::WriteText(gProject + kNamed[1], SmallObjects(20000, "segments", 3));
  benchgen::WriteText(gProject + kNamed[2], SmallObjects(8000, "a device", 4));
  benchgen::WriteText(gProject + kNamed[3], MapFile());
  benchgen::WriteText(gProject + kNamed[4], BitmapFile());

  // Definitions beside a copy of the program, which takes them for its own.
  benchgen::WriteText(gRoot + "ObjectTypNum.txt",
                      "0303 FORM_SHEET\r\n0501 DOC_ELEMENT\r\n0601 FIELD_TEXT\r\n0602 FIELD_NUMBER\r\n"
                      "0903 EXT_FILES\r\n");
  std::string properties;
  for (int id = 1; id <= 262; ++id) {
    char line[64];
    std::snprintf(line, sizeof line, "%.4d=Property %d\r\n", id, id);
    properties += line;
  }
  benchgen::WriteText(gRoot + "ObjectProperties.txt", properties);
  benchgen::WriteText(gRoot + "MorvoObject.cfg",
                      "[Settings]\r\nViews=All\r\nOutPuts=doc\r\nRuntimes=12,20\r\nSpecials=191\r\n\r\n"
                      "[Specials]\r\n0191=No,Yes\r\n\r\n[All]\r\nFields=*\r\n\r\n[doc]\r\nStartDocLine=%s\r\n");
  fs::copy_file(fs::path(ExecutablePath()).parent_path() / "morvo-reader", gRoot + "morvo-reader");
}

uint64_t ProjectBytes() {
  uint64_t bytes = fs::file_size(gMain);
  for (const char* named : kNamed) bytes += fs::file_size(gProject + named);
  return bytes;
}

std::string FileArguments() {
  std::string args = "forms/Project.dcl";
  for (const char* named : kNamed) args += std::string(" ") + named;
  return args;
}

void Shell(benchmark::State& State, const std::string& Command) {
  if (std::system(Command.c_str()) != 0) State.SkipWithError(("failed: " + Command).c_str());
}

// Runs Command once per iteration; Target is removed before each run (a zip
// that exists keeps its unchanged entries) and measured after the last.
void MeasureProcess(benchmark::State& State, const std::string& Name, const std::string& Target,
                    const std::string& Command) {
  for (auto _ : State) {
    State.PauseTiming();
    fs::remove(Target);
    State.ResumeTiming();
    Shell(State, Command);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * ProjectBytes()));
  if (!fs::exists(Target)) {
    State.SkipWithError(("no archive from " + Name).c_str());
    return;
  }
  gSize[Name] = static_cast<double>(fs::file_size(Target));
  State.counters["size"] = gSize[Name] / static_cast<double>(ProjectBytes());
  fs::remove(Target);  // the project folder holds only its own files again
}

// The program's "/p", headless, with the packager's settings stored as a
// user would leave them (Method 0 cab, 1 zip).
void PackageProcess(benchmark::State& State, int Method, const std::string& Name, const std::string& Target) {
  WriteRegString("PackMethod", std::to_string(Method));
  WriteRegString("PackShowResult", "0");
  MeasureProcess(State, Name, Target,
                 "QT_QPA_PLATFORM=offscreen '" + gRoot + "morvo-reader' /p '" + gMain + "' > /dev/null 2>&1");
}

void BM_PackageCab(benchmark::State& State) {
  PackageProcess(State, 0, "BM_PackageCab", gProject + "forms/Project.cab");
}
void BM_PackageZip(benchmark::State& State) {
  PackageProcess(State, 1, "BM_PackageZip", gProject + "forms/Project.zip");
}
void BM_Gcab(benchmark::State& State) {
  MeasureProcess(State, "BM_Gcab", gRoot + "gcab.cab",
                 "cd '" + gProject + "' && gcab -c -z '" + gRoot + "gcab.cab' " + FileArguments());
}
void BM_Zip9(benchmark::State& State) {
  MeasureProcess(State, "BM_Zip9", gRoot + "zip9.zip",
                 "cd '" + gProject + "' && zip -9 -q -r '" + gRoot + "zip9.zip' " + FileArguments());
}

// The cab writer alone on the same files, in this process.
void BM_CabWriter(benchmark::State& State) {
  const std::string target = gRoot + "writer.cab";
  for (auto _ : State) {
    std::unique_ptr<TArchiveWriter> writer = CreateCabArchiveWriter();
    writer->Open(gProject, target, "");
    writer->AddFiles("Project.dcl");
    for (const char* named : kNamed) writer->AddFiles(fs::path(named).filename().string());
    writer->Close();
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * ProjectBytes()));
  gSize["BM_CabWriter"] = static_cast<double>(fs::file_size(target));
  fs::remove(target);
}

// The main file read, as "/p" reads it, and then its file list built: the
// list should cost little beside the read.
void ReadMain() {
  FreeAllObjects();
  benchgen::GiveMemoryBack();
  if (ReadObjectFile(gMain) <= 0) std::abort();
}
void BM_Read(benchmark::State& State) {
  for (auto _ : State) ReadMain();
}
void BM_ReadAndList(benchmark::State& State) {
  for (auto _ : State) {
    ReadMain();
    TPackagerGroups groups;
    CollectPackagerGroups(groups);
    if (groups.Mandatory.Count() != std::size(kNamed)) State.SkipWithError("the list misses files");
  }
  FreeAllObjects();
}

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nProject folder: %.1f MB\n", static_cast<double>(ProjectBytes()) / 1e6);
  std::printf("Ratios against the baseline of this run (time, then size):\n");
  const auto size = [](const std::string& Measured, const std::string& Baseline) {
    return gSize.count(Measured) && gSize.count(Baseline) ? gSize[Measured] / gSize[Baseline] : 0.0;
  };
  const std::pair<const char*, const char*> pairs[] = {{"BM_PackageCab", "BM_Gcab"},
                                                       {"BM_PackageZip", "BM_Zip9"},
                                                       {"BM_CabWriter", "BM_Gcab"},
                                                       {"BM_ReadAndList", "BM_Read"}};
  for (const auto& [measured, baseline] : pairs) {
    const std::string what = std::string(measured) + " / " + baseline;
    Reporter.PrintRatio(what + "  time", measured, baseline, 40);
    std::printf("  %-40s %8.3f\n", (what + "  size").c_str(), size(measured, baseline));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gRoot = benchgen::MakeWorkFolder("bench_package");
  MakeProject();
  for (const auto& [name, function] : {std::pair<const char*, void (*)(benchmark::State&)>{"BM_Gcab", BM_Gcab},
                                       {"BM_PackageCab", BM_PackageCab},
                                       {"BM_Zip9", BM_Zip9},
                                       {"BM_PackageZip", BM_PackageZip},
                                       {"BM_CabWriter", BM_CabWriter},
                                       {"BM_Read", BM_Read},
                                       {"BM_ReadAndList", BM_ReadAndList}})
    // Processes run outside this one: their wall time decides the iterations.
    benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
  benchgen::TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  PrintRatios(Reporter);
  // BENCH_KEEP leaves the folder for a profiler: "/p" can be run on it again.
  if (!std::getenv("BENCH_KEEP")) fs::remove_all(gRoot);
  benchmark::Shutdown();
  return 0;
}
