// Opening a large realistic object file in the main window against the
// reader alone, measured in the same run: reading 100,000 objects and showing
// their tree in semantic order under a view that hides types should cost at
// most 1.5 times the reading. Selecting a node and filling the grid should
// take at most 2 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
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
  std::string File;
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
  f.File = f.Folder + "objects.obj";
  benchgen::WriteText(f.File, benchgen::EncodeRealistic(benchgen::MakeRealisticObjects(kObjects, "the open benchmark"),
                                                        benchgen::TEncoding::CodePage));
  WriteRegString("DefaultView", "Design");  // hides field types, shows flow tools without children
  dmZIB = new TdmZIB();
  f.Window = new TFrmMorvoReader();
  FrmMorvoReader = f.Window;
  f.Window->BindImageLists();
  f.Window->resize(1000, 700);
  f.Window->show();
  QCoreApplication::processEvents();
}

void BM_ReadAlone(benchmark::State& state) {
  for (auto _ : state) {
    FreeAllObjects();
    if (ReadObjectFile(Fixture().File) <= 0) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  FreeAllObjects();
}

// The open command's work: free, read, set the view, fill the tree in
// semantic order, select its first node and fill the grid, then let the
// shown tree lay itself out and paint.
void BM_OpenAndShowTree(benchmark::State& state) {
  TFrmMorvoReader* win = Fixture().Window;
  auto* view = win->findChild<QTreeView*>("ObjectTree");
  size_t nodes = 0;
  for (auto _ : state) {
    if (!win->OpenObjectFile(QString::fromStdString(Fixture().File)) || !win->FFileLoaded) std::abort();
    view->viewport()->repaint();
    QCoreApplication::processEvents();
  }
  for (TObjectTreeNode* n = win->TreeData().FirstNode(); n; n = TObjectTree::NextNode(n)) ++nodes;
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.counters["nodes"] = static_cast<double>(nodes);
}

// A person clicks a node: the grid and the status bar fill for its object.
// range(0) 1: the window then also paints what changed (the tree mostly
// scrolls to a far node, so it repaints whole).
void BM_SelectNode(benchmark::State& state) {
  TFrmMorvoReader* win = Fixture().Window;
  if (!win->FFileLoaded) win->OpenObjectFile(QString::fromStdString(Fixture().File));
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

BENCHMARK(BM_ReadAlone)->Unit(benchmark::kMillisecond)->MinTime(3.0)->Repetitions(3);
BENCHMARK(BM_OpenAndShowTree)->Unit(benchmark::kMillisecond)->MinTime(3.0)->Repetitions(3);
BENCHMARK(BM_SelectNode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void PrintRatios(const benchgen::TRatioReporter& Reporter) {
  std::printf("\nRatios of this run:\n");
  Reporter.PrintRatio("open and show 100,000 objects / reading them (at most 1.5)", "BM_OpenAndShowTree",
                      "BM_ReadAlone", 60);
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
