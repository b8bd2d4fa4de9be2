// Cabinet writing against copying the same file, measured in the same run:
// an LZX cabinet and a stored cabinet of 4 MB of mixed data (design-object
// text, structured binary records, random bytes). The counter "size" is the
// cabinet's size relative to its input.
#include <benchmark/benchmark.h>

#include "support/RatioReporter.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "CabWriter.h"

namespace {

struct TFixture {
  std::string Folder;
  std::string Source;
  size_t Size = 0;
};

TFixture& Fixture() {
  static TFixture F;
  return F;
}

void Setup() {
  TFixture& F = Fixture();
  char Templ[] = "/tmp/bench_cab.XXXXXX";
  F.Folder = mkdtemp(Templ);
  F.Source = F.Folder + "/mixed.bin";
  std::mt19937 Rng(11);  // 32-bit results
  std::string Data;
  const char* Words[] = {"OBJECT", "PROPERTY", "\"Name\"", "=", "\"value\"", "Width", "Height", "{", "}", "LINK"};
  while (Data.size() < (5u << 19)) {
    Data += Words[Rng() % 10];
    Data += Rng() % 7 ? " " : "\r\n";
    if (Rng() % 13 == 0) Data += std::to_string(Rng() % 100000);
  }
  // Records: small counters and flags in fixed-size slots, like a binary table.
  for (uint32_t I = 0; Data.size() < (7u << 19); ++I) {
    const uint32_t Rec[4] = {I, I * 3 % 17, 0x00010000u | static_cast<uint32_t>(Rng() % 4),
                             static_cast<uint32_t>(Rng() % 256)};
    Data.append(reinterpret_cast<const char*>(Rec), sizeof Rec);
  }
  while (Data.size() < (8u << 19)) Data.push_back(static_cast<char>(Rng()));
  std::ofstream(F.Source, std::ios::binary).write(Data.data(), static_cast<std::streamsize>(Data.size()));
  F.Size = Data.size();
}

void BM_CopyFile4MB(benchmark::State& State) {
  const std::string Target = Fixture().Folder + "/copy.bin";
  for (auto _ : State)
    std::filesystem::copy_file(Fixture().Source, Target, std::filesystem::copy_options::overwrite_existing);
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Fixture().Size));
}

void WriteCab(benchmark::State& State, TCabCompression Compression) {
  const std::string Target = Fixture().Folder + "/out.cab";
  for (auto _ : State) {
    TCabWriter W;
    if (!W.Create(Target, Compression) || !W.AddFile(Fixture().Source, "mixed.bin") || !W.FlushCabinet())
      State.SkipWithError(W.ErrorText().c_str());
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Fixture().Size));
  State.counters["size"] =
      static_cast<double>(std::filesystem::file_size(Target)) / static_cast<double>(Fixture().Size);
}

void BM_CabLzx4MB(benchmark::State& State) { WriteCab(State, TCabCompression::Lzx); }
void BM_CabStored4MB(benchmark::State& State) { WriteCab(State, TCabCompression::None); }

BENCHMARK(BM_CopyFile4MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CabStored4MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CabLzx4MB)->Unit(benchmark::kMillisecond);

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios against the baseline of this run:\n");
  for (const char* Measured : {"BM_CabStored4MB", "BM_CabLzx4MB"})
    Reporter.PrintRatio(std::string(Measured) + " / BM_CopyFile4MB", Measured, "BM_CopyFile4MB", 35);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Setup();
  benchgen::TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  PrintRatios(Reporter);
  std::filesystem::remove_all(Fixture().Folder);
  benchmark::Shutdown();
  return 0;
}
