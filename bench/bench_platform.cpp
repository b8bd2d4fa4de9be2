// Platform stand-ins against plain baselines measured in the same run: a
// profile read and a registry read against reading the same file's bytes,
// the decoders against copying the bytes, the locale sort against a byte
// sort. The ratios at the end are what to compare between machines.
#include <benchmark/benchmark.h>

#include "support/RatioReporter.h"
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CodePage.h"
#include "ProfileFile.h"
#include "Registry.h"
#include "TextCompare.h"

namespace {

const char* const kKey = "software\\Kelbrun\\ZIB";

struct TFixture {
  std::string folder;
  std::string cfgFile;
  std::string regFile;
  std::string utf16;
  std::string cp1252;
  std::vector<std::string> lines;
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

std::string ReadWithIfstream(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// About the size of a real configuration: 15 sections, 200 keys, a few long
// export templates among short id lists.
void WriteConfiguration(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  int written = 0;
  for (int s = 0; s < 15; ++s) {
    out << "[Section" << s << "]\r\n; comment line of section " << s << "\r\n";
    const int keys = s == 14 ? 200 - written : 13;
    for (int k = 0; k < keys; ++k, ++written) {
      out << "Key" << k << " = ";
      if (k % 5 == 0)
        out << "\"<tr><td>%s</td><td>%s</td><td class=\"v\">%d</td></tr>" << std::string(120, 'x') << "\"";
      else
        out << "1001,1002,1003,1004,1010,1020,1201,1301,1401," << k;
      out << "\r\n";
    }
    out << "\r\n";
  }
}

void Setup() {
  TFixture& f = Fixture();
  char templ[] = "/tmp/bench_platform.XXXXXX";
  f.folder = mkdtemp(templ);
  setenv("XDG_CONFIG_HOME", f.folder.c_str(), 1);
  f.cfgFile = f.folder + "/MorvoObject.cfg";
  WriteConfiguration(f.cfgFile);

  TRegistry reg;
  if (!reg.OpenKey(kKey, true)) std::abort();
  for (int i = 0; i < 100; ++i) {
    const std::string name = "Setting" + std::to_string(i);
    if (i % 10 == 0)
      reg.WriteBinaryData(name, std::string(24, static_cast<char>(i)));
    else
      reg.WriteString(name, "value of " + name + (i % 3 ? " C:\\Users\\someone\\Documents" : ""));
  }
  f.regFile = TRegistry::StoreFileName(TRegRoot::CurrentUser);

  std::mt19937 rng(7);
  std::string text;
  while (text.size() < (8u << 20)) {
    text += "PROPERTY \"Name\" = \"value ";
    text += static_cast<char>(0xE0 + rng() % 16);  // one accented letter per line
    text += "\"\r\n";
  }
  f.cp1252 = text;
  f.utf16.reserve(text.size() * 2);
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    f.utf16.push_back(static_cast<char>(u));
    f.utf16.push_back(0);
  }

  const char* words[] = {"Alpha", "beta", "\xC3\x84pfel", "gamma", "Zeta", "\xC3\xA9toile", "delta", "Omega"};
  for (int i = 0; i < 200000; ++i)
    f.lines.push_back(std::string(words[rng() % 8]) + " " + std::to_string(rng() % 100000) + " " + words[rng() % 8]);
}

void BM_CfgFileBytes(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ReadWithIfstream(Fixture().cfgFile));
}
void BM_ProfileReadLastKey(benchmark::State& state) {
  const TProfileFile ini(Fixture().cfgFile);
  for (auto _ : state) benchmark::DoNotOptimize(ini.ReadString("section14", "KEY20"));
}
void BM_RegFileBytes(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ReadWithIfstream(Fixture().regFile));
}
// What every settings read does: a fresh object, open (with create), one value.
void BM_RegistryReadOneValue(benchmark::State& state) {
  for (auto _ : state) {
    TRegistry reg;
    if (!reg.OpenKey(kKey, true)) state.SkipWithError("no key");
    benchmark::DoNotOptimize(reg.ReadString("Setting99"));
  }
}
void BM_CopyBytes8MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::string(Fixture().cp1252));
}
void BM_Decode1252_8MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DecodeToUtf8(Fixture().cp1252, "windows-1252"));
}
void BM_CopyBytes16MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::string(Fixture().utf16));
}
void BM_Utf16Decode16MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Utf16LeToUtf8(Fixture().utf16));
}
void BM_SortBytes(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::string> v = Fixture().lines;
    std::sort(v.begin(), v.end());
    benchmark::DoNotOptimize(v.data());
  }
}
void BM_SortLocale(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::string> v = Fixture().lines;
    std::sort(v.begin(), v.end(),
              [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
    benchmark::DoNotOptimize(v.data());
  }
}

BENCHMARK(BM_CfgFileBytes);
BENCHMARK(BM_ProfileReadLastKey);
BENCHMARK(BM_RegFileBytes);
BENCHMARK(BM_RegistryReadOneValue);
BENCHMARK(BM_CopyBytes8MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode1252_8MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBytes16MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf16Decode16MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortLocale)->Unit(benchmark::kMillisecond);

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios against the baselines of this run:\n");
  const std::pair<const char*, const char*> pairs[] = {{"BM_ProfileReadLastKey", "BM_CfgFileBytes"},
                                                       {"BM_RegistryReadOneValue", "BM_RegFileBytes"},
                                                       {"BM_Decode1252_8MB", "BM_CopyBytes8MB"},
                                                       {"BM_Utf16Decode16MB", "BM_CopyBytes16MB"},
                                                       {"BM_SortLocale", "BM_SortBytes"}};
  for (const auto& [measured, baseline] : pairs)
    Reporter.PrintRatio(std::string(measured) + " / " + baseline, measured, baseline, 45);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Setup();
  benchgen::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  std::filesystem::remove_all(Fixture().folder);
  benchmark::Shutdown();
  return 0;
}
