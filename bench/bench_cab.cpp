// Packages against the system's archivers, measured in the same run on the
// same folders: the program's cab writer (LZX) against `gcab -c -z` (MSZIP),
// and its zip writer against `zip -9`. Three folders: object files (generated
// like the samples, scaled up), text (the program's own sources) and files
// that are compressed already (gzip, PNG, JPEG). Besides the time ratios the
// program prints the archives' size ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "PackagerArchive.h"
#include "support/ObjectFileGenerator.h"
#include "support/RatioReporter.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot;                    // work folder, with a trailing "/"
std::map<std::string, double> gSize;  // archive bytes per benchmark

const char* const kSets[] = {"objects", "text", "compressed"};

std::string SetFolder(const std::string& Set) { return gRoot + Set + "/"; }

void Shell(const std::string& Command) {
  if (std::system(Command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", Command.c_str());
    std::abort();
  }
}

void MakeObjects() {
  const std::string folder = SetFolder("objects");
  fs::create_directories(folder);
  // Object files as design tools write them, in both encodings.
  using benchgen::EncodeRealistic, benchgen::MakeRealisticObjects, benchgen::TEncoding;
  benchgen::WriteText(folder + "Invoice.dcl", EncodeRealistic(MakeRealisticObjects(12000, "a cab"), TEncoding::Utf16));
  benchgen::WriteText(folder + "Letter.seg", EncodeRealistic(MakeRealisticObjects(6000, "a cab"), TEncoding::CodePage));
  benchgen::WriteText(folder + "Channels.chn",
                      EncodeRealistic(MakeRealisticObjects(3000, "a cab"), TEncoding::CodePage));
  // A mostly blank bitmap and a zero-padded data file, as object folders hold.
  std::string blank(1 << 20, '\0');
  for (size_t i = 0; i < blank.size(); i += 4099) blank[i] = static_cast<char>(i);
  benchgen::WriteText(folder + "Logo.bmp", blank);
}

void MakeText() {
  const std::string folder = SetFolder("text");
  fs::create_directories(folder);
  int n = 0;
  for (const char* sub : {"app", "model", "platform", "output", "tests", "docs"})
    for (const auto& e : fs::recursive_directory_iterator(fs::path(__FILE__).parent_path().parent_path() / sub)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".cpp" || ext == ".h" || ext == ".md" || ext == ".ui"))
        fs::copy_file(e.path(), folder + std::to_string(n++) + "_" + e.path().filename().string());
    }
}

void MakeCompressed() {
  const std::string folder = SetFolder("compressed");
  fs::create_directories(folder);
  Shell("cp -r " + SetFolder("text") + ". " + folder + "t && tar -cf - -C " + folder + "t . | gzip -9 > " + folder +
        "sources.tar.gz && rm -r " + folder + "t");
  std::mt19937 rng(5);
  for (int k = 0; k < 3; ++k) {
    QImage image(900, 700, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, y, qRgb((x * (k + 1)) & 255, (y + static_cast<int>(rng() % 24)) & 255, (x ^ y) & 255));
    image.save(QString::fromStdString(folder + "picture" + std::to_string(k) + ".png"));
    image.save(QString::fromStdString(folder + "photo" + std::to_string(k) + ".jpg"), "JPEG", 90);
  }
}

uint64_t FolderBytes(const std::string& Folder) {
  uint64_t bytes = 0;
  for (const auto& e : fs::directory_iterator(Folder)) bytes += e.file_size();
  return bytes;
}

// Runs one archiver per iteration on a set, writing its archive anew each
// time; Name is the benchmark's name without the set.
template <typename TWrite>
void Measure(benchmark::State& State, const std::string& Set, const std::string& Name, TWrite Write) {
  const std::string target = gRoot + Name + "." + Set;
  for (auto _ : State) {
    fs::remove(target);
    Write(SetFolder(Set), target);
  }
  const uint64_t input = FolderBytes(SetFolder(Set));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * input));
  const double size = static_cast<double>(fs::file_size(target));
  gSize[Name + "/" + Set] = size;
  State.counters["size"] = size / static_cast<double>(input);
}

void Package(std::unique_ptr<TArchiveWriter> Writer, const std::string& Folder, const std::string& Target) {
  Writer->Open(Folder, Target, "Created with a benchmark");
  Writer->AddFiles("*");
  Writer->Close();
}

void BM_GcabMszip(benchmark::State& State, const std::string& Set) {
  Measure(State, Set, "BM_GcabMszip", [](const std::string& Folder, const std::string& Target) {
    Shell("cd " + Folder + " && gcab -c -z " + Target + " *");
  });
}
void BM_CabLzx(benchmark::State& State, const std::string& Set) {
  Measure(State, Set, "BM_CabLzx", [](const std::string& Folder, const std::string& Target) {
    Package(CreateCabArchiveWriter(), Folder, Target);
  });
}
void BM_Zip9(benchmark::State& State, const std::string& Set) {
  Measure(State, Set, "BM_Zip9", [](const std::string& Folder, const std::string& Target) {
    Shell("cd " + Folder + " && zip -9 -q -r " + Target + " .");
  });
}
void BM_ZipWriter(benchmark::State& State, const std::string& Set) {
  Measure(State, Set, "BM_ZipWriter", [](const std::string& Folder, const std::string& Target) {
    Package(CreateZipArchiveWriter(), Folder, Target);
  });
}

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios against the baseline of this run (time, then size):\n");
  const auto size = [](const std::string& Measured, const std::string& Baseline) {
    return gSize.count(Measured) && gSize.count(Baseline) ? gSize[Measured] / gSize[Baseline] : 0.0;
  };
  for (const char* set : kSets) {
    const std::string s = set;
    for (const auto& [measured, baseline] : {std::pair<std::string, std::string>{"BM_CabLzx/", "BM_GcabMszip/"},
                                             std::pair<std::string, std::string>{"BM_ZipWriter/", "BM_Zip9/"}}) {
      const std::string what = measured + s + " / " + baseline + s;
      Reporter.PrintRatio(what + "  time", measured + s, baseline + s, 50);
      std::printf("  %-50s %8.3f\n", (what + "  size").c_str(), size(measured + s, baseline + s));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gRoot = benchgen::MakeWorkFolder("bench_cab");
  MakeObjects();
  MakeText();
  MakeCompressed();
  for (const char* set : kSets) {
    benchmark::RegisterBenchmark(("BM_GcabMszip/" + std::string(set)).c_str(), BM_GcabMszip, set)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_CabLzx/" + std::string(set)).c_str(), BM_CabLzx, set)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_Zip9/" + std::string(set)).c_str(), BM_Zip9, set)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_ZipWriter/" + std::string(set)).c_str(), BM_ZipWriter, set)
        ->Unit(benchmark::kMillisecond);
  }
  benchgen::TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  PrintRatios(Reporter);
  fs::remove_all(gRoot);
  benchmark::Shutdown();
  return 0;
}
