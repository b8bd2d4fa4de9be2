// A heavy EMF page drawn at screen size against filling the same image,
// measured in the same run. The page is written the way an office suite
// writes a long text document: hundreds of thousands of records, lines of
// text placed character by character, table rules, shaded cells, objects
// created, selected and deleted, a few bitmaps combined by raster
// operations. Drawing it should stay well under a second.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <initializer_list>

#include "EmfPlayer.h"
#include "support/RatioReporter.h"

namespace {

const QSize kScreen(1000, 1414);  // an A4 page on a screen

class TPageWriter {
 public:
  void Rec(uint32_t Type, std::initializer_list<int32_t> Words) {
    QByteArray body;
    for (int32_t w : Words) Put(body, uint32_t(w));
    Raw(Type, body);
  }
  void Raw(uint32_t Type, const QByteArray& Body) {
    Put(FRecords, Type);
    Put(FRecords, uint32_t(8 + Body.size()));
    FRecords += Body;
    ++FCount;
  }
  // A line of text with its advances, top-left aligned at (X, Y).
  void Text(int X, int Y, const QString& S, int Advance) {
    QByteArray b;
    for (int v : {0, 0, 0, 0, 1, 0, 0, X, Y, int(S.size()), 76, 0, 0, 0, 0, 0}) Put(b, uint32_t(v));
    Put(b, uint32_t(76 + (S.size() * 2 + 3) / 4 * 4));
    for (QChar c : S) Put16(b, c.unicode());
    while (b.size() % 4) b.append('\0');
    for (qsizetype i = 0; i < S.size(); ++i) Put(b, uint32_t(Advance + int(i % 3 == 0)));
    Raw(84, b);
  }
  void Font(int Handle, int Height, const QString& Face) {
    QByteArray b;
    for (int v : {Handle, Height, 0, 0, 0, 400, 0, 0}) Put(b, uint32_t(v));
    for (int i = 0; i < 32; ++i) Put16(b, i < Face.size() ? Face[i].unicode() : 0);
    Raw(82, b);
  }
  // A 16 x 16 bitmap copied by Rop over Dest.
  void Bitmap(int X, int Y, int W, int H, uint32_t Rop, uint32_t Color) {
    QByteArray bmi;
    for (int v : {40, 16, 16}) Put(bmi, uint32_t(v));
    Put16(bmi, 1);
    Put16(bmi, 24);
    for (int i = 0; i < 6; ++i) Put(bmi, 0);
    QByteArray bits;
    for (int i = 0; i < 16 * 16; ++i)
      for (int k = 0; k < 3; ++k) bits.append(char((Color >> (8 * k)) & 0xFF));
    QByteArray b;
    for (int v : {0, 0, 0, 0, X, Y, 0, 0, 16, 16, 80, int(bmi.size()), int(80 + bmi.size()), int(bits.size()), 0})
      Put(b, uint32_t(v));
    for (uint32_t v : {Rop, uint32_t(W), uint32_t(H)}) Put(b, v);
    Raw(81, b + bmi + bits);
  }
  QByteArray Finish(int Width, int Height) {
    Rec(14, {0, 0, 20});
    QByteArray h;
    Put(h, 1);
    Put(h, 88);
    for (int v : {0, 0, Width - 1, Height - 1, 0, 0, Width * 25, Height * 25, 0x464D4520, 0x10000}) Put(h, uint32_t(v));
    Put(h, uint32_t(88 + FRecords.size()));
    Put(h, uint32_t(FCount + 1));
    Put16(h, 64);
    Put16(h, 0);
    for (int v : {0, 0, 0, 1000, 1000, 250, 250}) Put(h, uint32_t(v));
    return h + FRecords;
  }

 private:
  static void Put(QByteArray& B, uint32_t V) {
    for (int i = 0; i < 4; ++i) B.append(char((V >> (8 * i)) & 0xFF));
  }
  static void Put16(QByteArray& B, int V) {
    B.append(char(V & 0xFF));
    B.append(char((V >> 8) & 0xFF));
  }
  QByteArray FRecords;
  int FCount = 0;
};

// A page of 2100 x 2970 logical units (tenths of a millimetre).
QByteArray HeavyPage() {
  TPageWriter w;
  w.Rec(17, {8});  // anisotropic
  w.Rec(9, {2100, 2970});
  w.Rec(11, {2100, 2970});
  w.Rec(18, {1});  // transparent text background
  w.Font(1, -28, "DejaVu Sans");
  w.Font(2, -28, "Arial");  // replaced here
  const QString line = QStringLiteral("Justified text placed character by character, as office suites write it.");
  for (int pass = 0; pass < 180; ++pass) {
    for (int row = 0; row < 80; ++row) {
      const int y = 60 + row * 35;
      // Each run of text selects its font and colour again, as producers do.
      w.Rec(37, {1 + row % 2});
      w.Rec(24, {int32_t(uint32_t(row * 3) << 8)});
      w.Text(100, y, line.left(20 + row % 50), 24);
      // A table rule with its own pen, created and deleted around it.
      w.Rec(38, {3, 0, 1 + row % 3, 0, 0x404040});
      w.Rec(37, {3});
      w.Rec(27, {100, y + 30});
      w.Rec(54, {2000, y + 30});
      w.Rec(37, {int32_t(0x80000007u)});
      w.Rec(40, {3});
      // A shaded cell.
      w.Rec(39, {4, 0, 0xF0E0D0 + row, 0});
      w.Rec(37, {4});
      w.Rec(37, {int32_t(0x80000008u)});
      w.Rec(43, {1900, y, 2000, y + 25});
      w.Rec(40, {4});
    }
    // An image drawn as mask and image.
    w.Bitmap(1700, 100 + pass % 40 * 60, 150, 150, 0x00EE0086, 0x000000);
    w.Bitmap(1700, 100 + pass % 40 * 60, 150, 150, 0x008800C6, 0x3060C0);
  }
  return w.Finish(2100, 2970);
}

struct TFixture {
  TEmfPicture Page;
};

TFixture& Fixture() {
  static TFixture f;
  return f;
}

void BM_FillImage(benchmark::State& state) {
  QImage image(kScreen, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(0, 0), kScreen), Qt::white);
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_DrawHeavyPage(benchmark::State& state) {
  QImage image(kScreen, QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    int passedOver = 0;
    if (Fixture().Page.Draw(painter, QRectF(QPointF(0, 0), QSizeF(kScreen)), &passedOver) != 0 || passedOver != 0) {
      state.SkipWithError("the page has damaged records or records the player does not draw");
      break;
    }
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetItemsProcessed(state.iterations() * Fixture().Page.RecordCount());
}

BENCHMARK(BM_FillImage)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_DrawHeavyPage)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  TFixture& f = Fixture();
  QString error;
  if (!f.Page.LoadFromBytes(HeavyPage(), &error)) {
    std::fprintf(stderr, "the generated page does not load: %s\n", qPrintable(error));
    return 1;
  }
  std::printf("A page of %d records drawn at %d x %d pixels\n", f.Page.RecordCount(), kScreen.width(),
              kScreen.height());
  benchgen::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios of this run:\n");
  reporter.PrintRatio("heavy page / filling the same image", "BM_DrawHeavyPage", "BM_FillImage");
  std::printf("  %-55s %8.0f\n", "heavy page in milliseconds (well under 1000)",
              reporter.Seconds("BM_DrawHeavyPage") * 1000);
  benchmark::Shutdown();
  return 0;
}
