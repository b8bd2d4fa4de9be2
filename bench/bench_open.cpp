// Opening a large realistic object file in the main window against the
// reader alone: reading 100,000 objects (small ones, the size most files
// hold, and large ones) and showing their tree in semantic order under a
// view that hides types should cost at most 1.5 times the reading. Selecting a node and filling the grid should take at
// most 2 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "Accessors.h"
#include "AppPaths.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "fMain.h"
#include "fdmZIB.h"
#include "support/ObjectFileGenerator.h"
#include "support/RatioReporter.h"

namespace {

constexpr int kObjects = 100000;

struct TFixture {
  std::string Folder;
  std::string Files[2];   // small objects, large objects
  std::string EmptyFile;  // no object file: opening it lets go of the loaded one
  TFrmMorvoReader* Window = nullptr;
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

void Setup() {
  TFixture& f = Fixture();
  f.Folder = benchgen::MakeWorkFolder("bench_open");
  benchgen::WriteRealisticDefinitions(f.Folder);
  for (int s = 0; s < 2; ++s) {
    const benchgen::TObjectMix size = s == 0 ? benchgen::TObjectMix::Small : benchgen::TObjectMix::Large;
    f.Files[s] = f.Folder + "objects-" + benchgen::ObjectMixName(size) + ".obj";
    benchgen::WriteText(f.Files[s],
                        benchgen::EncodeRealistic(benchgen::MakeObjects(size, kObjects, "the open benchmark"),
                                                  benchgen::TEncoding::CodePage));
  }
  f.EmptyFile = f.Folder + "empty.txt";
  benchgen::WriteText(f.EmptyFile, "");
  WriteRegString("DefaultView", "Design");  // hides field types, shows flow tools without children
  WriteRegString("OpenNonQSFiles", "0");    // the empty file starts no editor
  dmZIB = new TdmZIB();
  f.Window = new TFrmMorvoReader();
  FrmMorvoReader = f.Window;
  f.Window->BindImageLists();
  f.Window->resize(1000, 700);
  f.Window->show();
  QCoreApplication::processEvents();
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Processor seconds of every measured read and open, over all repetitions,
// per object size.
double gReadSeconds[2] = {}, gOpenSeconds[2] = {};
double gIterations[2] = {};
size_t gTreeNodes[2] = {};

// The two are measured alternately, each on the heap the other left: a read
// that runs first in a fresh process finds its memory in one piece, one after
// many loads finds it in pieces, and that alone moved the ratio by a quarter.
// Each side gives its load back within its time: the reader frees its
// objects; the window opens the file (freeing, reading, filling the tree in
// semantic order, selecting the first node, filling the grid), lets the tree
// lay itself out and paint, then lets go of the file by opening an empty file
// that is no object file, which clears the tree and frees the objects.
// range(0): the object size (0 small, 1 large).
void BM_OpenAgainstRead(benchmark::State& state) {
  const auto s = static_cast<size_t>(state.range(0));
  const std::string& file = Fixture().Files[s];
  TFrmMorvoReader* win = Fixture().Window;
  auto* view = win->findChild<QTreeView*>("ObjectTree");
  for (auto _ : state) {
    const double start = ProcessSeconds();
    if (ReadObjectFile(file) <= 0) std::abort();
    FreeAllObjects();
    const double read = ProcessSeconds();
    if (!win->OpenObjectFile(QString::fromStdString(file)) || !win->FFileLoaded) std::abort();
    view->viewport()->repaint();
    QCoreApplication::processEvents();
    if (gTreeNodes[s] == 0)
      for (TObjectTreeNode* n = win->TreeData().FirstNode(); n; n = TObjectTree::NextNode(n)) ++gTreeNodes[s];
    win->OpenObjectFile(QString::fromStdString(Fixture().EmptyFile));
    if (win->FFileLoaded || !win->TreeData().Empty()) std::abort();
    const double open = ProcessSeconds();
    gReadSeconds[s] += read - start;
    gOpenSeconds[s] += open - read;
    ++gIterations[s];
    state.SetIterationTime(open - start);
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.counters["nodes"] = static_cast<double>(gTreeNodes[s]);
}

// A person clicks a node: the grid and the status bar fill for its object.
// range(0) 1: the window then also paints what changed (the tree mostly
// scrolls to a far node, so it repaints whole).
void BM_SelectNode(benchmark::State& state) {
  TFrmMorvoReader* win = Fixture().Window;
  if (!win->FFileLoaded) win->OpenObjectFile(QString::fromStdString(Fixture().Files[1]));
  QCoreApplication::processEvents();
  std::vector<TObjectTreeNode*> picks;
  int k = 0;
  for (TObjectTreeNode* n = win->TreeData().FirstNode(); n; n = TObjectTree::NextNode(n))
    if (++k % 997 == 0) picks.push_back(n);
  const bool paint = state.range(0) == 1;
  size_t i = 0;
  for (auto _ : state) {
    win->SelectNode(picks[i++ % picks.size()]);
    if (paint) {
      QCoreApplication::processEvents();
    } else {
      state.PauseTiming();
      QCoreApplication::processEvents();
      state.ResumeTiming();
    }
  }
}

BENCHMARK(BM_OpenAgainstRead)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(10.0)
    ->Repetitions(2);
BENCHMARK(BM_SelectNode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios of this run:\n");
  for (int s = 0; s < 2; ++s) {
    if (gReadSeconds[s] <= 0 || gIterations[s] <= 0) continue;
    std::printf(" %s objects:\n", s == 0 ? "small" : "large");
    std::printf("  %-60s %8.2f\n", "open and show 100,000 objects / reading them (at most 1.5)",
                gOpenSeconds[s] / gReadSeconds[s]);
    std::printf("  %-60s %8.1f\n", "reading, ms of processor time", gReadSeconds[s] * 1e3 / gIterations[s]);
    std::printf("  %-60s %8.1f\n", "opening and showing, ms of processor time", gOpenSeconds[s] * 1e3 / gIterations[s]);
  }
  const double select = Reporter.Seconds("BM_SelectNode/0"), painted = Reporter.Seconds("BM_SelectNode/1");
  if (select > 0) std::printf("  %-60s %8.3f\n", "selecting a node and filling the grid, ms (at most 2)", select * 1e3);
  if (painted > 0) std::printf("  %-60s %8.3f\n", "the same and painting the window, ms", painted * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TuneMemoryAllocator();  // as the program does at start
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Setup();
  benchgen::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  delete Fixture().Window;
  FrmMorvoReader = nullptr;
  delete dmZIB;
  FreeAllObjects();
  std::filesystem::remove_all(Fixture().Folder);
  benchmark::Shutdown();
  return 0;
}
