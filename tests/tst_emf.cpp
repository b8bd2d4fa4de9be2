// The EMF pages: the player on pages written here, damaged pages, finding the
// versions and their pages, the page window's lists and preview, and printing
// to PDF through the dialog facade.
#include <sys/stat.h>

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>

#include "DialogFacade.h"
#include "EMFSelectHost.h"
#include "EmfPageList.h"
#include "EmfPlayer.h"
#include "MorvoObjRead.h"
#include "TestSupport.h"
#include "UnattendedCommands.h"
#include "fMain.h"
#include "fWait.h"
#include "femfselect.h"

namespace {

// Writes enhanced metafiles record by record. The reference device has 4
// pixels per millimetre, so a page of W x H units has a frame of W x H pixels.
class TEmfWriter {
 public:
  TEmfWriter(int Width, int Height) : FWidth(Width), FHeight(Height) {}

  TEmfWriter& Rec(uint32_t Type, std::initializer_list<int32_t> Words) {
    QByteArray body;
    for (int32_t w : Words) Put(body, uint32_t(w));
    return Raw(Type, body);
  }
  TEmfWriter& Raw(uint32_t Type, const QByteArray& Body) {
    QByteArray r;
    Put(r, Type);
    Put(r, uint32_t(8 + Body.size()));
    r += Body;
    FRecords += r;
    ++FCount;
    return *this;
  }
  static void Put(QByteArray& B, uint32_t V) {
    for (int i = 0; i < 4; ++i) B.append(char((V >> (8 * i)) & 0xFF));
  }
  static void Put16(QByteArray& B, int V) {
    B.append(char(V & 0xFF));
    B.append(char((V >> 8) & 0xFF));
  }
  static uint32_t Rgb(int R, int G, int B) { return uint32_t(R | G << 8 | B << 16); }

  TEmfWriter& Brush(int Handle, uint32_t Color) { return Rec(39, {Handle, 0, int32_t(Color), 0}); }
  TEmfWriter& Pen(int Handle, int Style, int Width, uint32_t Color) {
    return Rec(38, {Handle, Style, Width, 0, int32_t(Color)});
  }
  TEmfWriter& Select(uint32_t Handle) { return Rec(37, {int32_t(Handle)}); }
  TEmfWriter& Rectangle(int L, int T, int R, int B) { return Rec(43, {L, T, R, B}); }
  TEmfWriter& Ellipse(int L, int T, int R, int B) { return Rec(42, {L, T, R, B}); }
  TEmfWriter& Polygon16(const QList<QPoint>& Points, uint32_t Type = 86) {
    QByteArray b;
    for (int i = 0; i < 4; ++i) Put(b, 0);
    Put(b, uint32_t(Points.size()));
    for (const QPoint& p : Points) Put16(b, p.x()), Put16(b, p.y());
    return Raw(Type, b);
  }
  static int32_t Float(float V) {
    int32_t bits;
    std::memcpy(&bits, &V, 4);
    return bits;
  }
  // Decorations: 0x100 underlined, 0x10000 struck out, the character set
  // in the top byte.
  TEmfWriter& Font(int Handle, int Height, const QString& Face, int Width = 0, uint32_t Decorations = 0,
                   int Escapement = 0, int Orientation = 0) {
    QByteArray b;
    Put(b, uint32_t(Handle));
    Put(b, uint32_t(Height));
    Put(b, uint32_t(Width));
    Put(b, uint32_t(Escapement));
    Put(b, uint32_t(Orientation));
    Put(b, 700);  // weight
    Put(b, Decorations);
    Put(b, 0);  // precisions, quality, pitch
    for (int i = 0; i < 32; ++i) Put16(b, i < Face.size() ? Face[i].unicode() : 0);
    return Raw(82, b);
  }
  TEmfWriter& Text(int X, int Y, const QString& S, const QList<int>& Dx = {}, uint32_t Options = 0, int Mode = 1) {
    QByteArray chars;
    for (QChar c : S) Put16(chars, c.unicode());
    return TextRecord(84, X, Y, int(S.size()), chars, Dx, Options, Mode);
  }
  // Characters of one byte, or two in the double-byte character sets.
  TEmfWriter& TextA(int X, int Y, const QByteArray& S, const QList<int>& Dx) {
    return TextRecord(83, X, Y, int(S.size()), S, Dx, 0, 1);
  }
  TEmfWriter& TextRecord(uint32_t Type, int X, int Y, int Count, const QByteArray& Chars, const QList<int>& Dx,
                         uint32_t Options, int Mode) {
    QByteArray b;
    for (int i = 0; i < 4; ++i) Put(b, 0);  // bounds
    Put(b, uint32_t(Mode));                 // graphics mode
    Put(b, 0);
    Put(b, 0);  // scales
    Put(b, uint32_t(X));
    Put(b, uint32_t(Y));
    Put(b, uint32_t(Count));
    Put(b, 76);  // the string follows the fixed part
    Put(b, Options);
    for (int i = 0; i < 4; ++i) Put(b, 0);
    Put(b, Dx.isEmpty() ? 0 : uint32_t(76 + (Chars.size() + 3) / 4 * 4));  // the advances follow the string
    b += Chars;
    while ((b.size() + 8) % 4) b.append('\0');
    for (int d : Dx) Put(b, uint32_t(d));
    return Raw(Type, b);
  }
  // Strings at their reference points, each character advancing Advance.
  TEmfWriter& PolyText(const QList<QPair<QPoint, QString>>& Runs, int Advance) {
    QByteArray head, tail;
    for (int v : {0, 0, 0, 0, 1, 0, 0, int(Runs.size())}) Put(head, uint32_t(v));
    const int fixed = 8 + 32 + 40 * int(Runs.size());
    for (const auto& [at, text] : Runs) {
      const int offString = fixed + int(tail.size());
      for (QChar c : text) Put16(tail, c.unicode());
      while (tail.size() % 4) tail.append('\0');
      const int offDx = fixed + int(tail.size());
      for (qsizetype i = 0; i < text.size(); ++i) Put(tail, uint32_t(Advance));
      for (int v : {at.x(), at.y(), int(text.size()), offString, 0, 0, 0, 0, 0, offDx}) Put(head, uint32_t(v));
    }
    return Raw(97, head + tail);
  }
  // Text without advances or rectangle; Small: one byte a character.
  TEmfWriter& SmallText(int X, int Y, const QString& S, bool Small) {
    QByteArray b;
    for (int v : {X, Y, int(S.size()), Small ? 0x300 : 0x100, 1, 0, 0}) Put(b, uint32_t(v));
    for (QChar c : S) Small ? void(b.append(char(c.unicode()))) : Put16(b, c.unicode());
    while (b.size() % 4) b.append('\0');
    return Raw(108, b);
  }
  // A 24-bit bitmap of Rows (top row first), stored bottom-up as usual,
  // stretched over Dest.
  static std::pair<QByteArray, QByteArray> Dib24(const QList<QList<QRgb>>& Rows, bool TopDown = false) {
    const int h = int(Rows.size()), w = int(Rows.front().size());
    const int stride = ((w * 24 + 31) / 32) * 4;
    QByteArray bmi;
    Put(bmi, 40);
    Put(bmi, uint32_t(w));
    Put(bmi, uint32_t(TopDown ? -h : h));
    Put16(bmi, 1);
    Put16(bmi, 24);
    for (int i = 0; i < 6; ++i) Put(bmi, 0);
    QByteArray bits;
    for (int r = 0; r < h; ++r) {
      const auto& row = Rows[TopDown ? r : h - 1 - r];
      QByteArray line;
      for (QRgb c : row) line.append(char(qBlue(c))), line.append(char(qGreen(c))), line.append(char(qRed(c)));
      line.resize(stride, '\0');
      bits += line;
    }
    return {bmi, bits};
  }
  // Source: the part of the rows copied; all of them when empty.
  TEmfWriter& Bitmap(const QRect& Dest, const QList<QList<QRgb>>& Rows, bool TopDown = false, uint32_t Rop = 0x00CC0020,
                     QRect Source = {}) {
    const auto [bmi, bits] = Dib24(Rows, TopDown);
    if (Source.isEmpty()) Source = QRect(0, 0, int(Rows.front().size()), int(Rows.size()));
    QByteArray b;
    for (int i = 0; i < 4; ++i) Put(b, 0);
    for (int v : {Dest.x(), Dest.y(), Source.x(), Source.y(), Source.width(), Source.height()}) Put(b, uint32_t(v));
    Put(b, 80);
    Put(b, uint32_t(bmi.size()));
    Put(b, uint32_t(80 + bmi.size()));
    Put(b, uint32_t(bits.size()));
    Put(b, 0);  // RGB colours
    Put(b, Rop);
    Put(b, uint32_t(Dest.width()));
    Put(b, uint32_t(Dest.height()));
    return Raw(81, b + bmi + bits);
  }
  // Rows stretched over Dest, their pixels of the colour Clear left out.
  TEmfWriter& TransparentBlt(const QRect& Dest, const QList<QList<QRgb>>& Rows, uint32_t Clear) {
    const auto [bmi, bits] = Dib24(Rows);
    QByteArray b;
    for (int v : {0,
                  0,
                  0,
                  0,
                  Dest.x(),
                  Dest.y(),
                  Dest.width(),
                  Dest.height(),
                  int(Clear),
                  0,
                  0,
                  0x3F800000,
                  0,
                  0,
                  0x3F800000,
                  0,
                  0,
                  0,
                  0,
                  108,
                  int(bmi.size()),
                  int(108 + bmi.size()),
                  int(bits.size()),
                  int(Rows.front().size()),
                  int(Rows.size())})
      Put(b, uint32_t(v));
    return Raw(116, b + bmi + bits);
  }

  // A bitmap of W x H pixels stored in any form (compression 1 and 2 run
  // lengths, 3 masks given as the palette's first three entries, 4 and 5
  // JPEG and PNG), stretched over Dest.
  TEmfWriter& Dib(const QRect& Dest, int W, int H, int Bpp, int Compression, const QList<QRgb>& Palette,
                  QByteArray Bits) {
    QByteArray bmi;
    Put(bmi, 40);
    Put(bmi, uint32_t(W));
    Put(bmi, uint32_t(H));
    Put16(bmi, 1);
    Put16(bmi, Bpp);
    Put(bmi, uint32_t(Compression));
    Put(bmi, uint32_t(Bits.size()));
    Put(bmi, 0);
    Put(bmi, 0);
    Put(bmi, uint32_t(Compression == 3 ? 0 : Palette.size()));
    Put(bmi, 0);
    for (QRgb c : Palette) Put(bmi, uint32_t(qBlue(c) | qGreen(c) << 8 | qRed(c) << 16));
    return DibBits(81, Dest, bmi, Bits, {0, 0, W, H});
  }
  // A bitmap's header and colours as given, its bits copied from Source
  // over Dest: by StretchDIBits (81) or StretchBlt (77). Usage 1: the
  // colours are indexes into the palette.
  TEmfWriter& DibBits(uint32_t Type, const QRect& Dest, const QByteArray& Bmi, QByteArray Bits, const QRect& Source,
                      int Usage = 0) {
    while (Bits.size() % 4) Bits.append('\0');
    QByteArray b;
    for (int i = 0; i < 4; ++i) Put(b, 0);
    if (Type == 77) {
      for (int v : {Dest.x(),
                    Dest.y(),
                    Dest.width(),
                    Dest.height(),
                    0x00CC0020,
                    Source.x(),
                    Source.y(),
                    0x3F800000,
                    0,
                    0,
                    0x3F800000,
                    0,
                    0,
                    0,
                    Usage,
                    108,
                    int(Bmi.size()),
                    int(108 + Bmi.size()),
                    int(Bits.size()),
                    Source.width(),
                    Source.height()})
        Put(b, uint32_t(v));
    } else {
      for (int v : {Dest.x(), Dest.y(), Source.x(), Source.y(), Source.width(), Source.height(), 80, int(Bmi.size()),
                    int(80 + Bmi.size()), int(Bits.size()), Usage, 0x00CC0020, Dest.width(), Dest.height()})
        Put(b, uint32_t(v));
    }
    return Raw(Type, b + Bmi + Bits);
  }

  QByteArray Finish(int Handles = 8) const {
    QByteArray records = FRecords;
    {
      QByteArray eof;
      Put(eof, 14);
      Put(eof, 20);
      Put(eof, 0);
      Put(eof, 0);
      Put(eof, 20);
      records += eof;
    }
    QByteArray h;
    Put(h, 1);
    Put(h, 88);
    for (int v : {0, 0, FWidth - 1, FHeight - 1}) Put(h, uint32_t(v));    // bounds
    for (int v : {0, 0, FWidth * 25, FHeight * 25}) Put(h, uint32_t(v));  // frame, 1/100 mm
    Put(h, 0x464D4520);
    Put(h, 0x10000);
    Put(h, uint32_t(88 + records.size()));
    Put(h, uint32_t(FCount + 2));
    Put16(h, Handles);
    Put16(h, 0);
    Put(h, 0);
    Put(h, 0);
    Put(h, 0);
    Put(h, 1000);
    Put(h, 1000);  // device pixels
    Put(h, 250);
    Put(h, 250);  // device millimetres
    return h + records;
  }

  // A page filled with one colour.
  static QByteArray Filled(uint32_t Color, int W = 100, int H = 200) {
    return TEmfWriter(W, H).Brush(1, Color).Select(1).Select(0x80000008u).Rectangle(0, 0, W, H).Finish();
  }

 private:
  int FWidth, FHeight;
  QByteArray FRecords;
  int FCount = 0;
};

QImage Play(const QByteArray& Emf, QSize Size = QSize(80, 100), int* Skipped = nullptr, int* PassedOver = nullptr) {
  QImage image(Size, QImage::Format_RGB32);
  image.fill(Qt::white);
  TEmfPicture picture;
  QString error;
  if (!picture.LoadFromBytes(Emf, &error)) qWarning("%s", qPrintable(error));
  QPainter painter(&image);
  const int s = picture.Draw(painter, QRectF(QPointF(0, 0), QSizeF(Size)), PassedOver);
  if (Skipped) *Skipped = s;
  return image;
}

bool Near(QRgb A, QColor B, int Tolerance = 40) {
  return std::abs(qRed(A) - B.red()) <= Tolerance && std::abs(qGreen(A) - B.green()) <= Tolerance &&
         std::abs(qBlue(A) - B.blue()) <= Tolerance;
}

bool WriteFile(const QString& Path, const QByteArray& Data) {
  QDir().mkpath(QFileInfo(Path).absolutePath());
  QFile f(Path);
  return f.open(QIODevice::WriteOnly) && f.write(Data) == Data.size();
}

QString DataHome() {
  QString d = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return d.endsWith('/') ? d : d + '/';
}

QString Preview(const QString& Version) { return DataHome() + "Morvo/Quillset/" + Version + "/preview/"; }

QStringList Captions(QTreeWidget* List) {
  QStringList r;
  for (int i = 0; i < List->topLevelItemCount(); ++i) r << List->topLevelItem(i)->text(0);
  return r;
}

void Fill(QTreeWidget* List, const QStringList& Names) {
  List->clear();
  for (const QString& n : Names) List->addTopLevelItem(new QTreeWidgetItem(QStringList{n, "1"}));
}

void SelectRows(QTreeWidget* List, std::initializer_list<int> Rows) {
  List->clearSelection();
  for (int r : Rows) List->topLevelItem(r)->setSelected(true);
}

QList<int> SelectedRows(QTreeWidget* List) {
  QList<int> r;
  for (int i = 0; i < List->topLevelItemCount(); ++i)
    if (List->topLevelItem(i)->isSelected()) r << i;
  return r;
}

int PdfPages(const QString& Pdf) {
  QProcess p;
  p.start("pdfinfo", {Pdf});
  p.waitForFinished(30000);
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(out);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfTitle(const QString& Pdf) {
  QProcess p;
  p.start("pdfinfo", {Pdf});
  p.waitForFinished(30000);
  const auto m = QRegularExpression("Title:\\s+([^\\n]*)").match(QString::fromUtf8(p.readAllStandardOutput()));
  return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

QImage PdfPageImage(const QString& Pdf, int Page) {
  const QString prefix = Pdf + QString(".p%1").arg(Page);
  QProcess::execute("pdftoppm", {"-r", "20", "-f", QString::number(Page), "-l", QString::number(Page), "-singlefile",
                                 "-png", Pdf, prefix});
  return QImage(prefix + ".png");
}

const uint32_t kRed = TEmfWriter::Rgb(255, 0, 0);
const uint32_t kGreen = TEmfWriter::Rgb(0, 160, 0);
const uint32_t kBlue = TEmfWriter::Rgb(0, 0, 255);
const uint32_t kYellow = TEmfWriter::Rgb(255, 220, 0);

}  // namespace

class TestEmf : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dialogs::ResetForTests();
    QDir(DataHome() + "Morvo").removeRecursively();
  }

  // --- the player ---------------------------------------------------------

  void playerStretchesThePageOverTheTarget() {
    // Left half red, a blue ellipse in the lower right quarter; the page is
    // 100 x 200 and drawn into 80 x 100, so both axes scale differently.
    const QByteArray emf = TEmfWriter(100, 200)
                               .Brush(1, kRed)
                               .Brush(2, kBlue)
                               .Select(0x80000008u)  // no outline
                               .Select(1)
                               .Rectangle(0, 0, 50, 200)
                               .Select(2)
                               .Ellipse(50, 100, 100, 200)
                               .Finish();
    int skipped = -1;
    const QImage img = Play(emf, QSize(80, 100), &skipped);
    QCOMPARE(skipped, 0);
    QVERIFY(Near(img.pixel(5, 5), Qt::red));
    QVERIFY(Near(img.pixel(35, 95), Qt::red));
    QVERIFY(Near(img.pixel(45, 5), Qt::white));
    QVERIFY(Near(img.pixel(60, 75), Qt::blue));   // the ellipse's centre
    QVERIFY(Near(img.pixel(78, 52), Qt::white));  // outside the ellipse, in its box
  }

  void playerMapsWindowAndViewportAndRestoresSavedStates() {
    // Logical 0..1000 mapped onto the 100 x 200 page; after restoring the
    // state the plain mapping holds again.
    const QByteArray emf = TEmfWriter(100, 200)
                               .Brush(1, kGreen)
                               .Brush(2, kBlue)
                               .Select(0x80000008u)
                               .Rec(33, {})   // save
                               .Rec(17, {8})  // anisotropic
                               .Rec(9, {1000, 1000})
                               .Rec(11, {100, 200})
                               .Select(1)
                               .Rectangle(500, 0, 1000, 500)  // upper right quarter
                               .Rec(34, {-1})                 // restore
                               .Select(2)
                               .Rectangle(0, 150, 20, 200)  // plain units again
                               .Finish();
    const QImage img = Play(emf, QSize(100, 200));
    QVERIFY(Near(img.pixel(75, 50), QColor(0, 160, 0)));
    QVERIFY(Near(img.pixel(25, 50), Qt::white));
    QVERIFY(Near(img.pixel(75, 150), Qt::white));
    QVERIFY(Near(img.pixel(10, 190), Qt::blue));
    QVERIFY(Near(img.pixel(30, 190), Qt::white));
  }

  void playerMetricModesCountUpwards() {
    // Tenths of a millimetre, 0.4 pixels each; the origin moved to the page's
    // lower edge, so positive y goes up the page.
    const QByteArray emf = TEmfWriter(100, 200)
                               .Brush(1, kRed)
                               .Select(0x80000008u)
                               .Select(1)
                               .Rec(17, {2})
                               .Rec(12, {0, 200})
                               .Rectangle(0, 0, 125, 125)  // 50 x 50 pixels at the bottom left
                               .Finish();
    const QImage img = Play(emf, QSize(100, 200));
    QVERIFY(Near(img.pixel(25, 175), Qt::red));
    QVERIFY(Near(img.pixel(25, 125), Qt::white));
    QVERIFY(Near(img.pixel(75, 175), Qt::white));
  }

  void playerClipsAndDrawsPolygonsAndText() {
    const QByteArray emf = TEmfWriter(200, 100)
                               .Brush(1, kYellow)
                               .Select(1)
                               .Select(0x80000008u)
                               .Rec(33, {})
                               .Rec(30, {0, 0, 100, 100})  // only the left half
                               .Rectangle(0, 0, 200, 100)
                               .Rec(34, {-1})
                               .Brush(2, kBlue)
                               .Select(2)
                               .Polygon16({{150, 10}, {190, 90}, {110, 90}})
                               .Font(3, -40, "DejaVu Sans")
                               .Select(3)
                               .Rec(18, {1})         // transparent text background
                               .Rec(24, {0x000000})  // black text
                               .Rec(22, {0})         // top left
                               .Text(10, 30, "MMM")
                               .Finish();
    const QImage img = Play(emf, QSize(200, 100));
    QVERIFY(Near(img.pixel(5, 5), QColor(255, 220, 0)));
    QVERIFY(Near(img.pixel(105, 5), Qt::white));  // the clip held
    QVERIFY(Near(img.pixel(150, 70), Qt::blue));
    QVERIFY(Near(img.pixel(115, 20), Qt::white));
    // The text darkens its own band and nothing above it.
    int dark = 0, darkAbove = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
        if (qGray(img.pixel(x, y)) < 60) (y >= 30 && y < 75 ? dark : darkAbove)++;
    QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
    QCOMPARE(darkAbove, 0);
  }

  void playerFillsPathsPiesBlitsAndClipRegions() {
    const QByteArray emf =
        TEmfWriter(200, 200)
            .Brush(1, kRed)
            .Brush(2, kBlue)
            .Brush(3, kGreen)
            .Brush(4, kYellow)
            .Select(0x80000008u)
            .Select(1)
            .Rec(59, {})  // a triangle gathered as a path, then filled
            .Rec(27, {10, 10})
            .Rec(54, {90, 10})
            .Rec(54, {90, 90})
            .Rec(61, {})
            .Rec(60, {})
            .Rec(62, {0, 0, 0, 0})
            .Select(2)
            .Rec(47, {100, 0, 200, 100, 200, 50, 150, 0})  // the upper right quarter of a circle
            .Select(3)
            .Rec(76, {0, 0, 0, 0, 0, 100, 100, 100, 0x00F00021, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
            .Rec(75, {48, 5, 32, 1, 1, 16, 100, 100, 150, 200, 100, 100, 150, 200})  // clip to one rectangle
            .Select(4)
            .Rectangle(100, 100, 200, 200)
            .Rec(75, {0, 5})  // and no clip again
            .Rectangle(190, 190, 200, 200)
            .Finish();
    int skipped = -1;
    const QImage img = Play(emf, QSize(200, 200), &skipped);
    QCOMPARE(skipped, 0);
    QVERIFY(Near(img.pixel(80, 20), Qt::red));
    QVERIFY(Near(img.pixel(20, 80), Qt::white));  // the other side of the diagonal
    QVERIFY(Near(img.pixel(170, 30), Qt::blue));
    QVERIFY(Near(img.pixel(130, 70), Qt::white));  // the pie's missing three quarters
    QVERIFY(Near(img.pixel(170, 70), Qt::white));
    QVERIFY(Near(img.pixel(50, 150), QColor(0, 160, 0)));
    QVERIFY(Near(img.pixel(125, 150), QColor(255, 220, 0)));
    QVERIFY(Near(img.pixel(175, 150), Qt::white));
    QVERIFY(Near(img.pixel(195, 195), QColor(255, 220, 0)));
  }

  void playerDrawsBitmapsRightSideUp() {
    const QList<QList<QRgb>> rows = {{qRgb(255, 0, 0), qRgb(0, 255, 0)}, {qRgb(0, 0, 255), qRgb(255, 255, 0)}};
    for (bool topDown : {false, true}) {
      const QImage img = Play(TEmfWriter(100, 100).Bitmap(QRect(0, 0, 100, 100), rows, topDown).Finish(), {100, 100});
      QVERIFY(Near(img.pixel(25, 25), Qt::red));
      QVERIFY(Near(img.pixel(75, 25), Qt::green));
      QVERIFY(Near(img.pixel(25, 75), Qt::blue));
      QVERIFY(Near(img.pixel(75, 75), Qt::yellow));
    }
  }

  void playerDrawsRunLengthAndCompressedBitmaps() {
    const QList<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};
    auto bytes = [](std::initializer_list<int> B) {
      QByteArray r;
      for (int b : B) r.append(char(b));
      return r;
    };
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    QImage source(3, 2, QImage::Format_RGB32);
    for (int x = 0; x < 3; ++x) source.setPixel(x, 0, qRgb(255, 0, 0)), source.setPixel(x, 1, qRgb(0, 0, 255));
    QVERIFY(source.save(&png, "PNG"));
    // Each: bottom row blue, yellow, blue (rows are stored bottom first);
    // the top row's left and right pixels as given.
    struct TCase {
      QByteArray Page;
      QColor TopLeft, TopRight;
    };
    const QList<TCase> cases = {
        // a row stored as it is, then a run too long for its row
        {TEmfWriter(90, 60)
             .Dib({0, 0, 90, 60}, 3, 2, 8, 1, palette, bytes({0, 3, 2, 3, 2, 0, 0, 0, 255, 1, 0, 1}))
             .Finish(),
         Qt::green, Qt::green},
        // 4-bit pixels; the top row's first two pixels skipped by a move to
        // the right keep the first colour
        {TEmfWriter(90, 60)
             .Dib({0, 0, 90, 60}, 3, 2, 4, 2, palette, bytes({0, 3, 0x23, 0x20, 0, 0, 0, 2, 2, 0, 1, 0x30, 0, 1}))
             .Finish(),
         Qt::red, Qt::yellow},
        // a pixel of the top row, then a move far above the bitmap and a run
        // that has no row left to land in
        {TEmfWriter(90, 60)
             .Dib({0, 0, 90, 60}, 3, 2, 8, 1, palette,
                  bytes({0, 3, 2, 3, 2, 0, 0, 0, 1, 1, 0, 2, 1, 200, 3, 3, 0, 0, 3, 3, 0, 1}))
             .Finish(),
         Qt::green, Qt::red},
        {TEmfWriter(90, 60).Dib({0, 0, 90, 60}, 3, 2, 0, 5, {}, png.data()).Finish(), Qt::red, Qt::red},
    };
    for (qsizetype k = 0; k < cases.size(); ++k) {
      int skipped = -1;
      const QImage img = Play(cases[k].Page, {90, 60}, &skipped);
      QCOMPARE(skipped, 0);
      QVERIFY2(Near(img.pixel(15, 15), cases[k].TopLeft), qPrintable(QString::number(k)));
      QVERIFY(Near(img.pixel(75, 15), cases[k].TopRight));
      QVERIFY(Near(img.pixel(15, 45), Qt::blue));
      QVERIFY(Near(img.pixel(45, 45), k < 3 ? QColor(Qt::yellow) : QColor(Qt::blue)));
    }
  }

  void playerDrawsBitmapsFarBeyondOrWellBelowTheDevice() {
    // Ten times the page: only the middle of the bitmap shows, each
    // quarter where it belongs.
    const QList<QList<QRgb>> rows = {{qRgb(255, 0, 0), qRgb(0, 255, 0)}, {qRgb(0, 0, 255), qRgb(255, 255, 0)}};
    const QImage big = Play(TEmfWriter(100, 100).Bitmap(QRect(-450, -450, 1000, 1000), rows).Finish(), {100, 100});
    QVERIFY(Near(big.pixel(25, 25), Qt::red));
    QVERIFY(Near(big.pixel(75, 25), Qt::green));
    QVERIFY(Near(big.pixel(25, 75), Qt::blue));
    QVERIFY(Near(big.pixel(75, 75), Qt::yellow));
    // Mirrored into less than a pixel between pixels, which took the painter
    // seconds for each bitmap.
    TEmfWriter tiny(100, 100);
    tiny.Rec(17, {8}).Rec(9, {1000, 1000}).Rec(11, {40, -40}).Rec(12, {-1, 51});
    for (int i = 0; i < 20; ++i) tiny.Bitmap(QRect(0, 0, 50, 50), {{qRgb(1, 2, 3)}, {qRgb(4, 5, 6)}});
    int skipped = -1;
    Play(tiny.Finish(), {40, 40}, &skipped);
    QCOMPARE(skipped, 0);
  }

  // --- damaged pages ------------------------------------------------------

  void everyCutOfAPageIsRefused() {
    const QByteArray emf = TEmfWriter(100, 100)
                               .Brush(1, kRed)
                               .Select(1)
                               .Rectangle(0, 0, 50, 50)
                               .Bitmap(QRect(0, 0, 10, 10), {{qRgb(1, 2, 3)}})
                               .Finish();
    TEmfPicture picture;
    QVERIFY(picture.LoadFromBytes(emf));
    QCOMPARE(picture.RecordCount(), 6);
    for (int n = 0; n < emf.size(); ++n) {
      QString error;
      QVERIFY2(!picture.LoadFromBytes(emf.left(n), &error), qPrintable(QString::number(n)));
      QVERIFY(!error.isEmpty());
      QVERIFY(picture.Empty());
    }
    // Trailing bytes after the end record do no harm.
    QVERIFY(picture.LoadFromBytes(emf + QByteArray(7, 'x')));
  }

  void damagedHeadersAndRecordSizesAreRefused() {
    const QByteArray good = TEmfWriter::Filled(kRed);
    auto patched = [&](int Offset, uint32_t Value) {
      QByteArray b = good;
      for (int i = 0; i < 4; ++i) b[Offset + i] = char((Value >> (8 * i)) & 0xFF);
      return b;
    };
    TEmfPicture picture;
    QString error;
    QVERIFY(!picture.LoadFromBytes(patched(40, 0x12345678), &error));  // signature
    QVERIFY(error.contains("no enhanced metafile"));
    QVERIFY(!picture.LoadFromBytes(patched(0, 2)));           // first record no header
    QVERIFY(!picture.LoadFromBytes(patched(4, 0xFFFFFFF0)));  // header larger than the file
    QVERIFY(!picture.LoadFromBytes(patched(88 + 4, 0)));      // a record of size 0 would never end
    QVERIFY(!picture.LoadFromBytes(patched(88 + 4, 6)));      // sizes come in whole words
    // A chain that holds together only with a size of no whole words.
    QVERIFY(!picture.LoadFromBytes(TEmfWriter(100, 100).Raw(70, "12345").Finish(), &error));
    QVERIFY(!picture.LoadFromBytes(patched(88 + 4, 0x7FFFFFFC)));
    // A page without any size to stretch.
    QVERIFY(!picture.LoadFromBytes(TEmfWriter(0, 0).Finish(), &error));
    QVERIFY(!picture.LoadFromBytes(QByteArray(), &error));
  }

  void recordsWhoseContentsDoNotFitAreSkipped() {
    // A polygon claiming 100000 points in a record of three, one claiming a
    // point more than it holds, a bitmap whose offsets point outside its
    // record, objects stored beyond the table and just past its end;
    // passed over: a bitmap of a kind not known, a record of a kind not known.
    QByteArray poly;
    for (int i = 0; i < 4; ++i) TEmfWriter::Put(poly, 0);
    TEmfWriter::Put(poly, 100000);
    for (int i = 0; i < 3; ++i) TEmfWriter::Put(poly, 0);
    QByteArray dib(72, '\0');
    dib[40] = char(0xFF);  // offset of the bitmap header far out
    dib[41] = char(0xFF);
    QByteArray short3;
    for (int v : {0, 0, 0, 0, 3, 0, 0}) TEmfWriter::Put(short3, uint32_t(v));
    int skipped = 0, passedOver = 0;
    const QImage img = Play(TEmfWriter(100, 100)
                                .Raw(86, poly)
                                .Raw(86, short3)
                                .Raw(81, dib)
                                .Brush(5000, kRed)
                                .Select(5000)
                                .Brush(8, kRed)
                                .Select(8)
                                .Dib({0, 0, 100, 100}, 1, 1, 24, 9, {}, QByteArray(4, '\0'))
                                .Rec(200, {})
                                .Rectangle(0, 0, 100, 100)
                                .Finish(),
                            {50, 50}, &skipped, &passedOver);
    QCOMPARE(skipped, 5);
    QCOMPARE(passedOver, 2);
    QVERIFY(Near(img.pixel(25, 25), Qt::white));  // the stock white brush stayed
  }

  void textWithoutItsBoundingRectangleIsDrawn() {
    // Text written without a bounding rectangle leaves it out of the record,
    // so its string follows 16 bytes earlier; an empty one is 60 bytes long.
    auto noRect = [](int X, int Y, const QString& S) {
      QByteArray b;
      for (int i = 0; i < 4; ++i) TEmfWriter::Put(b, 0);  // bounds
      for (int v : {1, 0, 0, X, Y, int(S.size()), 60, 0x100 | 0x2, 0}) TEmfWriter::Put(b, uint32_t(v));
      for (QChar c : S) TEmfWriter::Put16(b, c.unicode());
      while (b.size() % 4) b.append('\0');
      return b;
    };
    int skipped = -1;
    const QImage img = Play(TEmfWriter(100, 100)
                                .Font(1, -40, "DejaVu Sans")
                                .Select(1)
                                .Rec(18, {1})
                                .Raw(84, noRect(0, 0, ""))
                                .Raw(84, noRect(10, 30, "MMM"))
                                .Finish(),
                            {100, 100}, &skipped);
    QCOMPARE(skipped, 0);
    int dark = 0;
    for (int y = 30; y < 75; ++y)
      for (int x = 0; x < 100; ++x)
        if (qGray(img.pixel(x, y)) < 60) ++dark;
    QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
  }

  void hugeOrDistortedTextIsDrawnAsOutlines() {
    // Found by damaging pages at random: a mapping that squeezes one axis a
    // millionfold and stretches the other brought down the glyph cache.
    int skipped = -1;
    Play(TEmfWriter(100, 100)
             .Font(1, -12, "DejaVu Sans")
             .Select(1)
             .Rec(17, {8})
             .Rec(9, {1000000, 1})
             .Rec(11, {1, 4000000})
             .Text(0, 0, "Page")
             .Finish(),
         {40, 40}, &skipped);
    QCOMPARE(skipped, 0);
    // The page that found it: its header gives a frame thirty million
    // pixels wide and a few thousandths high.
    TEmfPicture found;
    QVERIFY(found.LoadFromFile(QString::fromStdString(testsupport::TestDataDir()) + "/emf/distorted-text.emf"));
    QImage canvas(40, 40, QImage::Format_RGB32);
    QPainter painter(&canvas);
    found.Draw(painter, QRectF(0, 0, 40, 40));
    painter.end();
    // A letter taller than the page still covers it.
    const QImage img =
        Play(TEmfWriter(100, 100).Font(1, -3000, "DejaVu Sans").Select(1).Rec(18, {1}).Text(-500, -1500, "I").Finish(),
             {100, 100});
    QVERIFY(qGray(img.pixel(50, 50)) < 60);
  }

  void clipsAndPensOfDamagedPagesNeverCrash() {
    // Found by damaging pages at random: a world transform shrinks an
    // excluded and then an intersected clip rectangle to a few billionths of
    // a pixel, which brought down the path operations.
    TEmfPicture found;
    QVERIFY(found.LoadFromFile(QString::fromStdString(testsupport::TestDataDir()) + "/emf/tiny-clip-rects.emf"));
    QImage canvas(40, 40, QImage::Format_RGB32);
    QPainter painter(&canvas);
    found.Draw(painter, QRectF(0, 0, 40, 40));
    painter.end();

    // Clips far beyond the page, empty ones and rotated ones still clip.
    const QByteArray emf = TEmfWriter(100, 100)
                               .Brush(1, kRed)
                               .Select(1)
                               .Select(0x80000008u)
                               .Rec(29, {-2000000000, -2000000000, 2000000000, 50})  // exclude the upper half
                               .Rec(30, {7, 7, 7, 7})                                // nothing left
                               .Rec(30, {0, 0, 100, 100})
                               .Rectangle(0, 0, 100, 100)
                               .Rec(75, {0, 5})  // no clip again
                               .Rec(33, {})
                               // A quarter turn: x' = 100 - y, y' = x.
                               .Rec(35, {0, 0x3F800000, int32_t(0xBF800000), 0, 0x42C80000, 0})
                               .Rec(29, {0, 0, 100, 50})  // the right half of the page
                               .Brush(2, kBlue)
                               .Select(2)
                               .Rectangle(0, 0, 100, 100)
                               .Finish();
    int skipped = -1;
    const QImage img = Play(emf, {100, 100}, &skipped);
    QCOMPARE(skipped, 0);
    QVERIFY(Near(img.pixel(25, 50), Qt::blue));
    QVERIFY(Near(img.pixel(75, 25), Qt::white));  // neither red nor blue
    QVERIFY(Near(img.pixel(75, 75), Qt::white));

    // A damaged control point of a curve costs no more than a figure on the
    // page: the painter took a fifth of a second for each such curve.
    TEmfWriter curves(100, 100);
    curves.Pen(1, 0, 3, kBlue).Select(1).Brush(2, kRed).Select(2).Rec(59, {});
    for (int i = 0; i < 20; ++i) curves.Rec(2, {0, 0, 0, 0, 4, 10, 10, 50, 4000000 + i, 60, 20, 90, 90});
    curves.Rec(60, {}).Rec(63, {0, 0, 0, 0});
    QElapsedTimer clock;
    clock.start();
    const QImage curved = Play(curves.Finish(), {100, 100});
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
    QVERIFY(Near(curved.pixel(10, 50), Qt::blue));
    QVERIFY(Near(curved.pixel(50, 50), Qt::white));
    // A pen far wider than the page is stroked narrower, yet still covers it.
    const QImage wide =
        Play(TEmfWriter(100, 100).Pen(1, 0, 0x7FFFFFFF, kBlue).Select(1).Rec(27, {50, 50}).Rec(54, {51, 50}).Finish(),
             {100, 100});
    for (QPoint corner : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 99), QPoint(99, 99)})
      QVERIFY(Near(wide.pixel(corner), Qt::blue));
    // Its dashes keep their length, rather than shrinking with it to
    // thousands of slivers that took the painter most of a minute.
    clock.restart();
    const QImage dashed = Play(TEmfWriter(100, 100)
                                   .Rec(95, {1, 0, 0, 0, 0, 0x10207, 1000000, 0, int32_t(kBlue), 0, 2, 20, 20})
                                   .Select(1)
                                   .Rec(27, {0, 50})
                                   .Rec(54, {100, 50})
                                   .Finish(),
                               {100, 100});
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
    QVERIFY(Near(dashed.pixel(10, 10), Qt::blue) && Near(dashed.pixel(30, 90), Qt::white));
  }

  void randomDamageNeverCrashes() {
    const QByteArray good = TEmfWriter(100, 100)
                                .Pen(1, 0, 3, kBlue)
                                .Select(1)
                                .Font(2, -12, "DejaVu Sans")
                                .Select(2)
                                .Polygon16({{1, 1}, {50, 90}, {90, 10}})
                                .Text(5, 5, "Page")
                                .Bitmap(QRect(10, 10, 30, 30), {{qRgb(1, 2, 3), qRgb(4, 5, 6)}})
                                .Rec(33, {})
                                .Rec(34, {5})
                                .Rec(59, {})
                                .Rec(47, {0, 0, 50, 50, 50, 25, 25, 0})
                                .Rec(60, {})
                                .Rec(67, {1})
                                .Rec(75, {48, 1, 32, 1, 1, 16, 0, 0, 9, 9, 0, 0, 9, 9})
                                .Rec(76, {0, 0, 0, 0, 0, 0, 9, 9, 0x00F00021, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
                                .Finish();
    QRandomGenerator rng(4711);
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
      QByteArray b = good;
      const int flips = 1 + int(rng.bounded(6));
      for (int k = 0; k < flips; ++k) b[int(rng.bounded(uint32_t(b.size())))] = char(rng.bounded(256));
      TEmfPicture picture;
      if (!picture.LoadFromBytes(b)) continue;
      ++loaded;
      QImage img(40, 40, QImage::Format_RGB32);
      QPainter painter(&img);
      picture.Draw(painter, QRectF(0, 0, 40, 40));
    }
    QVERIFY(loaded > 0);
  }

  void drawnAsWindowsDrawsIt() {
    const QList<QRgb> black = {qRgb(0, 0, 0)}, white = {qRgb(255, 255, 255)};
    const QString block(2, QChar(0x2588));
    QByteArray monoBrush;  // a monochrome pattern without a colour table
    for (int v : {1, 0, 32, 40, 72, 32, 40, 8, 8}) TEmfWriter::Put(monoBrush, uint32_t(v));
    TEmfWriter::Put16(monoBrush, 1), TEmfWriter::Put16(monoBrush, 1);
    monoBrush += QByteArray(24 + 32, '\0');
    struct TCase {
      QString Name;
      QByteArray Page;
      QList<QPair<QPoint, QColor>> Probes;
    };
    // A monochrome brush of 8 x 8 pixels, its first column 0 (the text
    // colour), the rest 1 (the background colour).
    QByteArray stripes = monoBrush.left(72);
    for (int i = 0; i < 8; ++i) TEmfWriter::Put(stripes, 0x7F);
    auto base = [] { return TEmfWriter(100, 100).Select(0x80000008u); };
    // A header of the old kind (12 bytes) or the usual one, and its colours.
    auto bmi = [](bool Old, int Bpp, const QByteArray& Colors) {
      QByteArray b;
      TEmfWriter::Put(b, Old ? 12 : 40);
      for (int v : {2, 1}) Old ? TEmfWriter::Put16(b, v) : TEmfWriter::Put(b, uint32_t(v));
      TEmfWriter::Put16(b, 1), TEmfWriter::Put16(b, Bpp);
      if (!Old) b += QByteArray(16, '\0') + QByteArray("\2\0\0\0\0\0\0\0", 8);  // two colours
      b += Colors;
      return b.leftJustified((b.size() + 3) / 4 * 4, '\0');
    };
    QList<TCase> cases = {
        {"a copy in black paints black",
         base().Bitmap({0, 0, 100, 100}, {white}, false, 0x42).Finish(),
         {{{50, 50}, Qt::black}}},
        {"mask and image keep the page around the image",
         base()
             .Brush(1, kYellow)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Bitmap({0, 0, 100, 100}, {{qRgb(255, 255, 255), qRgb(0, 0, 0)}}, false, 0xEE0086)
             .Bitmap({0, 0, 100, 100}, {{qRgb(255, 0, 0), qRgb(255, 255, 255)}}, false, 0x8800C6)
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, QColor(255, 220, 0)}}},
        {"a transform multiplied from the left acts first",
         base()
             .Rec(35, {0x3F800000, 0, 0, 0x3F800000, 0x42480000, 0})
             .Rec(36, {0x3F000000, 0, 0, 0x3F000000, 0, 0, 2})
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{30, 25}, Qt::white}, {{80, 25}, Qt::red}}},
        {"a transform multiplied from the right acts last",
         base()
             .Rec(35, {0x3F800000, 0, 0, 0x3F800000, 0x42480000, 0})
             .Rec(36, {0x3F000000, 0, 0, 0x3F000000, 0, 0, 3})
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{30, 25}, Qt::red}, {{90, 25}, Qt::white}}},
        {"alternate filling leaves a star's middle open",
         base()
             .Brush(1, kBlue)
             .Select(1)
             .Rec(19, {1})
             .Polygon16({{50, 5}, {78, 95}, {5, 38}, {95, 38}, {22, 95}})
             .Finish(),
         {{{50, 55}, Qt::white}, {{50, 20}, Qt::blue}}},
        {"winding filling fills it",
         base()
             .Brush(1, kBlue)
             .Select(1)
             .Rec(19, {2})
             .Polygon16({{50, 5}, {78, 95}, {5, 38}, {95, 38}, {22, 95}})
             .Finish(),
         {{{50, 55}, Qt::blue}}},
        {"characters stand where their advances put them",
         base().Font(1, -40, "DejaVu Sans").Select(1).Rec(18, {1}).Text(0, 0, block, {70, 28}).Finish(),
         {{{10, 20}, Qt::black}, {{50, 20}, Qt::white}, {{80, 20}, Qt::black}}},
        {"a turning world transform turns text",
         base()
             .Font(1, -20, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .Rec(35, {0, 0x3F800000, int32_t(0xBF800000), 0, 0x42C80000, 0})
             .Text(0, 0, block + block)
             .Finish(),
         {{{88, 22}, Qt::black}, {{50, 10}, Qt::white}}},
        {"vertical advances go up",
         base().Font(1, -40, "DejaVu Sans").Select(1).Rec(18, {1}).Text(0, 40, block, {30, 20, 30, 0}, 0x2000).Finish(),
         {{{45, 25}, Qt::black}, {{10, 70}, Qt::black}}},
        {"a shading across a rectangle",
         base().Rec(118, {0, 0, 0, 0, 2, 1, 0, 0, 0, 0xFF00, 0, 100, 100, 0, 0xFF00, 0, 1}).Finish(),
         {{{3, 50}, Qt::red}, {{97, 50}, Qt::blue}}},
        {"regions filled, framed and inverted",
         base()
             .Brush(1, kRed)
             .Brush(2, kBlue)
             .Rec(71, {0, 0, 0, 0, 48, 1, 32, 1, 1, 16, 0, 0, 100, 50, 0, 0, 100, 50})
             .Rec(72, {0, 0, 0, 0, 48, 2, 5, 5, 32, 1, 1, 16, 0, 50, 100, 100, 0, 50, 100, 100})
             .Rec(73, {0, 0, 0, 0, 48, 32, 1, 1, 16, 0, 0, 50, 50, 0, 0, 50, 50})
             .Finish(),
         {{{25, 25}, Qt::cyan}, {{75, 25}, Qt::red}, {{2, 75}, Qt::blue}, {{50, 75}, Qt::white}}},
        {"points drawn one by one",
         base()
             .Rec(15, {50, 50, int32_t(kRed)})
             .Pen(1, 0, 6, kBlue)
             .Select(1)
             .Raw(92, QByteArray::fromHex("000000000000000000000000000000000200000005000a005f000a0006020000"))
             .Finish(),
         {{{50, 50}, Qt::red}, {{50, 10}, Qt::blue}, {{50, 30}, Qt::white}}},
        {"a monochrome brush takes the text colour",
         base().Rec(24, {int32_t(kRed)}).Raw(93, monoBrush).Select(1).Rectangle(0, 0, 100, 100).Finish(),
         {{{50, 50}, Qt::red}}},
        {"user dashes and flat ends",
         base()
             .Rec(95, {1, 0, 0, 0, 0, 0x10207, 10, 0, int32_t(kBlue), 0, 2, 20, 20})
             .Select(1)
             .Rec(27, {0, 50})
             .Rec(54, {100, 50})
             .Finish(),
         {{{10, 50}, Qt::blue}, {{30, 50}, Qt::white}, {{50, 50}, Qt::blue}}},
        {"round ends",
         base()
             .Rec(95, {1, 0, 0, 0, 0, 0x10000, 20, 0, int32_t(kBlue), 0, 0})
             .Select(1)
             .Rec(27, {30, 50})
             .Rec(54, {70, 50})
             .Finish(),
         {{{24, 50}, Qt::blue}, {{22, 42}, Qt::white}}},
        {"inverting the page needs no brush",
         base()
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Select(0x80000005u)
             .Rec(76, {0, 0, 0, 0, 0, 0, 100, 100, 0x00550009, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
             .Finish(),
         {{{50, 50}, Qt::cyan}}},
        {"a clip of several rectangles after a lifted one",
         base()
             .Brush(1, kRed)
             .Select(1)
             .Rec(33, {})
             .Rec(30, {0, 0, 50, 50})
             .Rectangle(0, 0, 100, 100)
             .Rec(34, {-1})
             .Rectangle(90, 90, 100, 100)
             .Rec(29, {25, 25, 75, 75})
             .Brush(2, kBlue)
             .Select(2)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{60, 60}, Qt::white}, {{30, 30}, Qt::red}, {{10, 10}, Qt::blue}, {{95, 95}, Qt::blue}}},
        {"a move inside a path starts a figure of its own",
         base()
             .Pen(1, 0, 4, 0)
             .Select(1)
             .Rec(59, {})
             .Rec(27, {10, 10})
             .Polygon16({{30, 10}}, 89)
             .Rec(27, {70, 90})
             .Polygon16({{90, 90}}, 89)
             .Rec(60, {})
             .Rec(64, {0, 0, 0, 0})
             .Finish(),
         {{{50, 50}, Qt::white}, {{20, 10}, Qt::black}, {{80, 90}, Qt::black}}},
        {"a move among drawn points starts a figure of its own",
         base()
             .Pen(1, 0, 4, 0)
             .Select(1)
             .Rec(59, {})
             .Rec(27, {10, 10})
             .Raw(92, QByteArray::fromHex("0000000000000000000000000000000003000000"
                                          "1e000a0046005a005a005a0002060200"))
             .Rec(60, {})
             .Rec(64, {0, 0, 0, 0})
             .Finish(),
         {{{50, 50}, Qt::white}, {{20, 10}, Qt::black}, {{80, 90}, Qt::black}}},
        {"underline and strike-out with advances",
         base()
             .Font(1, -100, "DejaVu Sans", 0, 0x10100)
             .Select(1)
             .Rec(18, {1})
             .Rec(22, {24})
             .Text(0, 50, "   ", {30, 30, 30})
             .Finish(),
         {{{45, 54}, Qt::black}, {{45, 40}, Qt::white}, {{45, 27}, Qt::black}}},
        {"a font's width stretches its characters",
         base().Font(1, -40, "DejaVu Sans", 40).Select(1).Rec(18, {1}).Text(0, 0, block.left(1)).Finish(),
         {{{40, 20}, Qt::black}, {{60, 20}, Qt::white}}},
        {"a positive height is the character cell's",
         base().Font(1, 100, "DejaVu Sans").Select(1).Rec(18, {1}).Text(0, 0, block.left(1)).Finish(),
         {{{60, 50}, Qt::black}, {{72, 50}, Qt::white}}},
        {"viewport and window extents scaled",
         base()
             .Rec(17, {8})
             .Rec(9, {100, 100})
             .Rec(11, {100, 100})
             .Rec(31, {1, 2, 1, 1})
             .Rec(32, {1, 1, 2, 1})
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{25, 25}, Qt::red}, {{75, 25}, Qt::white}, {{25, 75}, Qt::white}}},
        {"several strings in one record",
         base()
             .Font(1, -40, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .PolyText({{{0, 0}, block}, {{50, 50}, block}}, 20)
             .Finish(),
         {{{10, 20}, Qt::black}, {{60, 70}, Qt::black}, {{60, 20}, Qt::white}}},
        {"short text records",
         base()
             .Font(1, -100, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .SmallText(0, 0, block.left(1), false)
             .SmallText(60, 0, "I", true)
             .Finish(),
         {{{30, 50}, Qt::black}, {{75, 60}, Qt::black}, {{90, 60}, Qt::white}}},
        {"an arc by its angles continues a line",
         base()
             .Pen(1, 0, 6, kBlue)
             .Select(1)
             .Rec(27, {0, 50})
             .Rec(41, {50, 50, 30, TEmfWriter::Float(0), TEmfWriter::Float(180)})
             .Rec(54, {20, 90})
             .Finish(),
         {{{50, 50}, Qt::blue}, {{50, 20}, Qt::blue}, {{50, 80}, Qt::white}, {{20, 70}, Qt::blue}}},
        {"a transparent colour lets the page through",
         base()
             .Brush(1, kYellow)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .TransparentBlt({0, 0, 100, 100}, {{qRgb(255, 0, 0), qRgb(255, 255, 255)}}, 0xFFFFFF)
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, QColor(255, 220, 0)}}},
        {"a widened path fills the pen's outline",
         base()
             .Pen(1, 0, 10, 0)
             .Select(1)
             .Brush(2, kBlue)
             .Select(2)
             .Rec(59, {})
             .Rectangle(20, 20, 80, 80)
             .Rec(60, {})
             .Rec(66, {})
             .Rec(62, {0, 0, 0, 0})
             .Finish(),
         {{{50, 50}, Qt::white}, {{17, 50}, Qt::blue}, {{23, 50}, Qt::blue}, {{28, 50}, Qt::white}}},
        {"a clip path of three figures keeps to them",
         base()
             .Rec(59, {})
             .Rectangle(10, 10, 30, 30)
             .Rectangle(70, 10, 90, 30)
             .Rectangle(10, 70, 30, 90)
             .Rec(60, {})
             .Rec(67, {5})
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{20, 20}, Qt::red}, {{80, 20}, Qt::red}, {{20, 80}, Qt::red}, {{35, 35}, Qt::white}}},
        {"a clip moved",
         base().Rec(30, {0, 0, 50, 50}).Rec(26, {50, 50}).Brush(1, kRed).Select(1).Rectangle(0, 0, 100, 100).Finish(),
         {{{75, 75}, Qt::red}, {{25, 25}, Qt::white}}},
        {"a negative width mirrors a bitmap",
         base()
             .Rec(17, {8})
             .Rec(9, {200, 100})
             .Rec(11, {100, 100})
             .Bitmap(QRect(180, 0, -120, 100), {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}}, false, 0x00CC0020,
                     QRect(1, 0, 2, 1))
             .Finish(),
         {{{45, 50}, Qt::blue}, {{75, 50}, Qt::green}, {{10, 50}, Qt::white}}},
        {"brush or bitmap",
         base().Brush(1, kRed).Select(1).Bitmap({0, 0, 100, 100}, {{qRgb(0, 0, 255)}}, false, 0xFC008A).Finish(),
         {{{50, 50}, Qt::magenta}}},
        {"brush and bitmap, or page",
         base()
             .Brush(1, kGreen)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Brush(2, kBlue)
             .Select(2)
             .Bitmap({0, 0, 100, 100}, {{qRgb(255, 255, 255), qRgb(0, 0, 0)}}, false, 0xEA02E9)
             .Finish(),
         {{{25, 50}, QColor(0, 160, 255)}, {{75, 50}, QColor(0, 160, 0)}}},
        {"a state restored by its number",
         base()
             .Brush(1, kRed)
             .Select(1)
             .Rec(33, {})
             .Brush(2, kBlue)
             .Select(2)
             .Rec(33, {})
             .Brush(3, kGreen)
             .Select(3)
             .Rec(34, {1})
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{50, 50}, Qt::red}}},
        {"an accent without an advance stands over its letter",
         base().Font(1, -60, "DejaVu Sans").Select(1).Rec(18, {1}).Text(0, 0, QString("e\u0301"), {70, 0}).Finish(),
         {{{24, 12}, Qt::black}, {{58, 14}, Qt::white}}},
        {"text read right to left",
         base()
             .Font(1, -40, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .Text(0, 0, block.left(1) + QChar(0x05D0), {50, 50}, 0x80)
             .Finish(),
         {{{85, 20}, Qt::black}, {{15, 20}, Qt::white}}},
        {"a pen inside its frame",
         base().Select(0x80000005u).Pen(1, 6, 20, kBlue).Select(1).Rectangle(20, 20, 80, 80).Finish(),
         {{{22, 50}, Qt::blue}, {{15, 50}, Qt::white}, {{38, 50}, Qt::blue}, {{42, 50}, Qt::white}}},
        {"hatches on the background colour",
         base()
             .Rec(25, {int32_t(kYellow)})
             .Rec(39, {1, 2, int32_t(kBlue), 0})
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{50, 6}, QColor(255, 220, 0)}, {{50, 55}, QColor(255, 220, 0)}}},
        {"mitred joins up to ten pen widths long",
         base()
             .Rec(95, {1, 0, 0, 0, 0, 0x12000, 10, 0, int32_t(kBlue), 0, 0})
             .Select(1)
             .Polygon16({{42, 95}, {50, 45}, {58, 95}}, 87)
             .Finish(),
         {{{50, 22}, Qt::blue}}},
        {"a miter limit of the page's own",
         base()
             .Rec(58, {2})
             .Rec(95, {1, 0, 0, 0, 0, 0x12000, 10, 0, int32_t(kBlue), 0, 0})
             .Select(1)
             .Polygon16({{30, 90}, {50, 30}, {70, 90}}, 87)
             .Finish(),
         {{{50, 18}, Qt::white}, {{50, 30}, Qt::blue}}},
        {"a wide dashed pen draws solid",
         base().Pen(1, 1, 20, kBlue).Select(1).Rec(27, {0, 50}).Rec(54, {100, 50}).Finish(),
         {{{70, 58}, Qt::blue}, {{10, 50}, Qt::blue}}},
        {"a line mode inverts the page",
         base().Brush(1, kRed).Select(1).Rectangle(0, 0, 100, 100).Rec(20, {6}).Rectangle(0, 0, 100, 100).Finish(),
         {{{50, 50}, Qt::cyan}}},
        {"a miter beyond the limit is bevelled",
         base()
             .Rec(58, {3})
             .Rec(95, {1, 0, 0, 0, 0, 0x12000, 10, 0, int32_t(kBlue), 0, 0})
             .Select(1)
             .Polygon16({{30, 90}, {50, 30}, {70, 90}}, 87)
             .Finish(),
         {{{50, 26}, Qt::white}, {{50, 30}, Qt::blue}}},
        {"a miter within the limit is whole",
         base()
             .Rec(58, {4})
             .Rec(95, {1, 0, 0, 0, 0, 0x12000, 10, 0, int32_t(kBlue), 0, 0})
             .Select(1)
             .Polygon16({{30, 90}, {50, 30}, {70, 90}}, 87)
             .Finish(),
         {{{50, 18}, Qt::blue}}},
        {"16-bit pixels of 4 bits a colour",
         base().Dib({0, 0, 100, 100}, 2, 1, 16, 3, {0xF00, 0x0F0, 0x00F}, QByteArray("\x00\x0F\xF0\x00", 4)).Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, Qt::green}}},
        {"16-bit pixels of 5 bits a colour",
         base()
             .Dib({0, 0, 100, 100}, 2, 1, 16, 3, {0x7C00, 0x03E0, 0x001F}, QByteArray("\x00\x7C\x1F\x00", 4))
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, Qt::blue}}},
        {"32-bit pixels by their masks",
         base()
             .Dib({0, 0, 100, 100}, 2, 1, 32, 3, {0xFF, 0xFF00, 0xFF0000}, QByteArray("\xFF\0\0\0\0\0\xFF\0", 8))
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, Qt::blue}}},
        {"the old header with colours of 3 bytes",
         base()
             .DibBits(81, {0, 0, 100, 100}, bmi(true, 1, QByteArray("\0\0\xFF\xFF\0\0", 6)), QByteArray("\x40", 1),
                      {0, 0, 2, 1})
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, Qt::blue}}},
        {"colours as indexes into the default palette",
         base()
             .DibBits(81, {0, 0, 100, 100}, bmi(false, 8, QByteArray("\x0D\0\x10\0", 4)), QByteArray("\0\1", 2),
                      {0, 0, 2, 1}, 1)
             .Finish(),
         {{{25, 50}, Qt::red}, {{75, 50}, Qt::blue}}},
        {"palette colours in brushes, pens and text",
         base()
             .Rec(49, {3, 0x30300, int32_t(kRed), int32_t(TEmfWriter::Rgb(0, 255, 0)), int32_t(kBlue)})
             .Rec(48, {3})
             .Brush(1, 0x01000002)
             .Select(1)
             .Pen(2, 0, 10, 0x01000001)
             .Select(2)
             .Rectangle(0, 0, 60, 100)
             .Rec(24, {0x01000000})
             .Font(4, -30, "DejaVu Sans")
             .Select(4)
             .Text(70, 10, block.left(1))
             .Finish(),
         {{{30, 50}, Qt::blue}, {{2, 50}, Qt::green}, {{75, 25}, Qt::red}}},
        {"palette entries changed after the brush was selected",
         base()
             .Rec(49, {3, 0x30300, int32_t(kRed), int32_t(kRed), int32_t(kRed)})
             .Rec(48, {3})
             .Brush(1, 0x01000002)
             .Select(1)
             .Rec(50, {3, 2, 1, int32_t(kBlue)})
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{50, 50}, Qt::blue}}},
        {"a hatched geometric pen on the background colour",
         base()
             .Rec(25, {int32_t(kYellow)})
             .Rec(95, {1, 0, 0, 0, 0, 0x10000, 30, 2, int32_t(kBlue), 0, 0})
             .Select(1)
             .Rec(27, {0, 50})
             .Rec(54, {100, 50})
             .Finish(),
         {{{50, 51}, Qt::blue}, {{50, 47}, QColor(255, 220, 0)}, {{50, 25}, Qt::white}}},
        {"a pattern brush tiled in device pixels, in the colours of the moment",
         TEmfWriter(400, 400)
             .Select(0x80000008u)
             .Raw(93, stripes)
             .Select(1)
             .Rec(24, {int32_t(kRed)})
             .Rec(25, {int32_t(kYellow)})
             .Rectangle(0, 0, 400, 400)
             .Finish(),
         {{{8, 50}, Qt::red}, {{12, 50}, QColor(255, 220, 0)}, {{16, 50}, Qt::red}, {{4, 50}, QColor(255, 220, 0)}}},
        {"a brush and bitmap operation away from the origin",
         base()
             .Rec(24, {int32_t(kRed)})
             .Rec(25, {int32_t(kYellow)})
             .Raw(93, stripes)
             .Select(1)
             .Bitmap({13, 0, 40, 100}, {white}, false, 0xC000CA)
             .Finish(),
         {{{16, 50}, Qt::red}, {{13, 50}, QColor(255, 220, 0)}, {{48, 50}, Qt::red}, {{56, 50}, Qt::white}}},
        {"a viewport scaled in the isotropic mode",
         base()
             .Rec(17, {7})
             .Rec(9, {100, 100})
             .Rec(11, {100, 100})
             .Rec(31, {1, 2, 1, 1})
             .Brush(1, kRed)
             .Select(1)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{25, 25}, Qt::red}, {{75, 25}, Qt::white}, {{25, 75}, Qt::white}}},
        {"a clip moved across only",
         base().Rec(30, {0, 0, 50, 50}).Rec(26, {50, 0}).Brush(1, kRed).Select(1).Rectangle(0, 0, 100, 100).Finish(),
         {{{75, 25}, Qt::red}, {{25, 25}, Qt::white}, {{75, 75}, Qt::white}}},
        {"a clip of a widened line crossing itself",
         base()
             .Pen(1, 0, 10, 0)
             .Select(1)
             .Rec(59, {})
             .Rec(27, {10, 10})
             .Polygon16({{90, 90}, {90, 10}, {10, 90}}, 89)
             .Rec(60, {})
             .Rec(66, {})
             .Rec(67, {5})
             .Select(0x80000008u)
             .Brush(2, kRed)
             .Select(2)
             .Rectangle(0, 0, 100, 100)
             .Finish(),
         {{{50, 50}, Qt::red}, {{30, 30}, Qt::red}, {{50, 30}, Qt::white}}},
        {"characters turned by their orientation",
         base()
             .Font(1, -40, "DejaVu Sans", 0, 0, 0, 900)
             .Select(1)
             .Rec(18, {1})
             .Text(50, 20, block.left(1), {}, 0, 2)
             .Finish(),
         {{{25, 45}, Qt::black}, {{70, 30}, Qt::white}}},
        {"a mirrored run ends on the left",
         base()
             .Font(1, -40, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .Rec(35, {int32_t(0xBF800000), 0, 0, 0x3F800000, 0x42C80000, 0})
             .Text(10, 0, block, {20, 20}, 0, 2)
             .Finish(),
         {{{80, 20}, Qt::black}, {{45, 20}, Qt::black}, {{30, 20}, Qt::white}, {{95, 20}, Qt::white}}},
        {"a sheared run leans",
         base()
             .Font(1, -40, "DejaVu Sans")
             .Select(1)
             .Rec(18, {1})
             .Rec(35, {0x3F800000, 0, 0x3F000000, 0x3F800000, 0, 0})
             .Text(0, 0, block.left(1), {}, 0, 2)
             .Finish(),
         {{{45, 40}, Qt::black}, {{5, 40}, Qt::white}, {{5, 5}, Qt::black}}},
    };
    // Lines of one pixel shrunk 2:1 and 4:1, in each stretch mode: the
    // groups of pixels that become one are white then black on the left,
    // black then white on the right.
    for (int ratio : {2, 4})
      for (uint32_t type : {77u, 81u})
        for (int mode = 1; mode <= 4; ++mode) {
          QList<QRgb> line;
          for (int i = 0; i < 100 * ratio; ++i)
            line << ((i % ratio == 0) == (i < 50 * ratio) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
          const auto [info, bits] = TEmfWriter::Dib24({line});
          static const int kLeft[][2] = {{0, 0}, {255, 255}, {255, 255}, {128, 64}};
          static const int kRight[][2] = {{0, 0}, {255, 255}, {0, 0}, {128, 191}};
          const int left = kLeft[mode - 1][ratio / 4], right = kRight[mode - 1][ratio / 4];
          cases.append(
              {QString("stretch mode %1 at %2:1 by record %3").arg(mode).arg(ratio).arg(type),
               base().Rec(21, {mode}).DibBits(type, {0, 0, 100, 100}, info, bits, {0, 0, 100 * ratio, 1}).Finish(),
               {{{25, 50}, QColor(left, left, left)}, {{75, 50}, QColor(right, right, right)}}});
        }
    QStringList wrong;
    for (const TCase& c : cases) {
      int skipped = -1, passedOver = -1;
      const QImage img = Play(c.Page, {100, 100}, &skipped, &passedOver);
      if (skipped != 0 || passedOver != 0)
        wrong << QString("%1: %2 records skipped, %3 passed over").arg(c.Name).arg(skipped).arg(passedOver);
      for (const auto& [at, color] : c.Probes)
        if (!Near(img.pixel(at), color))
          wrong << QString("%1 at %2,%3: %4").arg(c.Name).arg(at.x()).arg(at.y()).arg(img.pixel(at), 0, 16);
    }
    // One-byte text in each character set draws what the same characters
    // draw given as Unicode.
    const QList<std::tuple<int, QByteArray, QString>> charsets = {{0, "\x80", "\u20AC"},
                                                                  {1, "\x80", "\u20AC"},
                                                                  {77, "\x80", "\u00C4"},
                                                                  {128, "\x83\x41", "\u30A2"},
                                                                  {129, "\xB0\xA1", "\uAC00"},
                                                                  {134, "\xC4\xE3", "\u4F60"},
                                                                  {136, "\xA7\x41", "\u4F60"},
                                                                  {161, "\xC1\xE2", "\u0391\u03B2"},
                                                                  {162, "\xD0\xFD", "\u011E\u0131"},
                                                                  {163, "\xC3", "\u0102"},
                                                                  {177, "\xE0\xE1", "\u05D0\u05D1"},
                                                                  {178, "\xC7\xC8", "\u0627\u0628"},
                                                                  {186, "\xC0\xE8", "\u0104\u010D"},
                                                                  {204, "\xC0\xE1", "\u0410\u0431"},
                                                                  {222, "\xA1\xA2", "\u0E01\u0E02"},
                                                                  {238, "\x8A\xB9", "\u0160\u0105"},
                                                                  {255, "\x80", "\u00C7"}};
    for (const auto& [charset, bytes, unicode] : charsets) {
      auto page = [&](bool Wide) {
        TEmfWriter w = base().Font(1, -40, "DejaVu Sans", 0, uint32_t(charset) << 24).Select(1).Rec(18, {1});
        const QList<int> dx = {40, Wide || bytes.size() == unicode.size() ? 40 : 0};
        return (Wide ? w.Text(10, 10, unicode, dx.mid(0, unicode.size())) : w.TextA(10, 10, bytes, dx)).Finish();
      };
      const QImage a = Play(page(false), {100, 100}), w = Play(page(true), {100, 100});
      if (a != w || w == Play(base().Finish(), {100, 100}))
        wrong << QString("character set %1: not the characters given as Unicode").arg(charset);
    }
    for (const QString& w : wrong) qWarning("%s", qPrintable(w));
    QVERIFY2(wrong.isEmpty(), qPrintable(QString("%1 probes wrong").arg(wrong.size())));
  }

  void pagesOfOtherProducersLookAsTheirProducersDrawThem_data() {
    QTest::addColumn<QString>("Page");
    QTest::addColumn<bool>("Natural");
    QTest::addColumn<double>("Share");
    // Percent of pixels differing by more than a quarter of a channel's
    // range: font rasterisers differ, so text leaves a few; wrong character
    // positions, raster operations, pen ends and joins, fill modes or
    // jagged edges would each exceed these.
    QTest::newRow("office drawing in DejaVu") << "draw-dejavu" << false << 3.5;
    QTest::newRow("office drawing in a replaced font") << "draw-arial" << false << 4.0;
    QTest::newRow("vector editor") << "vector" << true << 0.25;
    QTest::newRow("vector editor's clipped objects") << "clips" << true << 0.25;
    QTest::newRow("office drawing of scaled and underlined text") << "widths" << false << 3.3;
    QTest::newRow("GDI library") << "gdi" << false << 0.45;
  }

  void pagesOfOtherProducersLookAsTheirProducersDrawThem() {
    QFETCH(QString, Page);
    QFETCH(bool, Natural);
    QFETCH(double, Share);
    const QString path = QString::fromStdString(testsupport::TestDataDir()) + "/emf/" + Page;
    TEmfPicture picture;
    QVERIFY(picture.LoadFromFile(path + ".emf"));
    const QImage reference = QImage(path + ".png").convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!reference.isNull());
    QImage expected(reference.size(), QImage::Format_RGB32), image(reference.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    image.fill(Qt::white);
    QPainter(&expected).drawImage(0, 0, reference);
    QRectF dest(QPointF(0, 0), QSizeF(reference.size()));
    if (Natural) {  // the editor's frame reaches past its page: drawn at 96 dpi
      QFile f(path + ".emf");
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QByteArray h = f.read(40);
      auto at = [&](int Off) { return qFromLittleEndian<int32_t>(h.constData() + Off); };
      dest.setSize(QSizeF(at(32) - at(24), at(36) - at(28)) * (96 / 2540.0));
    }
    QPainter painter(&image);
    int passedOver = -1;
    QCOMPARE(picture.Draw(painter, dest, &passedOver), 0);
    QCOMPARE(passedOver, 0);
    painter.end();
    qint64 differing = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (!Near(image.pixel(x, y), expected.pixel(x, y), 64)) ++differing;
    const double share = 100.0 * double(differing) / (double(image.width()) * image.height());
    QVERIFY2(share <= Share, qPrintable(QString("%1% of the pixels differ").arg(share, 0, 'f', 3)));
  }

  // Saved fuzzing inputs, each refused or drawn as a preview and a sheet; run
  // under the sanitizers, a read or write outside a record shows here.
  void fuzzInputsAreRefusedOrDrawn_data() {
    QTest::addColumn<QString>("Path");
    QStringList inputs;
    for (const char* folder : {"/fuzz/corpus-emf-min", "/fuzz/crashes-emf"}) {
      const QDir dir(QStringLiteral(MORVO_SOURCE_DIR) + folder);
      for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) inputs << dir.filePath(name);
    }
    QVERIFY2(inputs.size() >= 20, "the saved inputs are missing");
    for (const QString& path : inputs) QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
  }

  void fuzzInputsAreRefusedOrDrawn() {
    QFETCH(QString, Path);
    TEmfPicture picture;
    QString error;
    if (!picture.LoadFromFile(Path, &error)) {
      QVERIFY(!error.isEmpty() && picture.Empty());
      return;
    }
    for (const QSize canvas : {QSize(40, 50), QSize(600, 800)}) {
      QImage image(canvas, QImage::Format_RGB32);
      QPainter painter(&image);
      int passedOver = -1;
      const int skipped = picture.Draw(painter, QRectF(QPointF(0, 0), QSizeF(canvas)), &passedOver);
      QVERIFY(skipped >= 0 && passedOver >= 0 && skipped + passedOver <= picture.RecordCount());
    }
  }

  // --- versions and pages on disk ----------------------------------------

  void masksMatchWholeNamesWithoutRegardToCase() {
    QVERIFY(MatchesMask("1.0", "?.?"));
    QVERIFY(MatchesMask("a.B", "?.?"));
    QVERIFY(!MatchesMask("10.1", "?.?"));
    QVERIFY(!MatchesMask("a.bc", "?.?"));
    QVERIFY(!MatchesMask("1.", "?.?"));
    QVERIFY(!MatchesMask("1", "?.?"));
    QVERIFY(!MatchesMask("1x0", "?.?"));
    QVERIFY(MatchesMask("PAGE.EMF", "*.emf"));
    QVERIFY(MatchesMask(".emf", "*.emf"));
    QVERIFY(!MatchesMask("page.emf.bak", "*.emf"));
    QVERIFY(MatchesMask("a.b.c", "*.*"));
    QVERIFY(MatchesMask("", "*"));
    QVERIFY(!MatchesMask("", "?"));
  }

  void versionsAreFoldersNamedLikeOneDotOne() {
    const QString base = DataHome() + "Morvo/Quillset/";
    for (const char* d : {"2.0", "1.0", "10.1", "a.bc", "x.y", "1.05"}) QVERIFY(QDir().mkpath(base + d));
    QVERIFY(WriteFile(base + "3.0", "a file, not a version"));
    QVERIFY(QDir().mkpath(DataHome() + "elsewhere/4.0"));
    QVERIFY(QFile::link(DataHome() + "elsewhere/4.0", base + "4.0"));
    QCOMPARE(FindVersionFolders(DataHome()), (QStringList{"1.0", "2.0", "x.y"}));
    QVERIFY(FindVersionFolders(DataHome() + "nothing-here/").isEmpty());
  }

  void fixedFolderNamesAreFoundInAnyCase() {
    QVERIFY(QDir().mkpath(DataHome() + "morvo/QUILLSET/1.0/Preview"));
    QCOMPARE(FindVersionFolders(DataHome()), QStringList{"1.0"});
    QCOMPARE(PreviewFolderOf(DataHome(), "1.0"), DataHome() + "morvo/QUILLSET/1.0/Preview/");
    QDir(DataHome() + "morvo").removeRecursively();
  }

  void pagesAtAnyDepthInAnyCaseWithoutFollowingLinks() {
    const QString dir = Preview("1.0");
    QVERIFY(WriteFile(dir + "page1.emf", QByteArray(12, 'a')));
    QVERIFY(WriteFile(dir + "a/PAGE1.EMF", QByteArray(345, 'a')));
    QVERIFY(WriteFile(dir + "b/c/deep.Emf", QByteArray(7, 'a')));
    QVERIFY(WriteFile(dir + "B0.emf", QByteArray(1, 'a')));
    QVERIFY(WriteFile(dir + ".hidden.emf", QByteArray(2, 'a')));
    QVERIFY(WriteFile(dir + "page1.emf.bak", "x"));
    QVERIFY(WriteFile(dir + "page.emfx", "x"));
    QVERIFY(WriteFile(dir + "emf", "x"));
    QVERIFY(QDir().mkpath(dir + "folder.emf"));  // a folder is searched, not listed
    QVERIFY(WriteFile(dir + "folder.emf/inner.emf", QByteArray(3, 'a')));
    QVERIFY(QFile::link(dir, dir + "loop"));                    // would never end
    QVERIFY(QFile::link(DataHome() + "outside", dir + "out"));  // leads out of the folder
    QVERIFY(WriteFile(DataHome() + "outside/stray.emf", "x"));
    QVERIFY(QFile::link(dir + "page1.emf", dir + "zlink.emf"));
    // Neither a pipe nor a device is a page: opening the one waits for a
    // writer, reading the other never ends.
    QCOMPARE(::mkfifo(QFile::encodeName(dir + "pipe.emf").constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/zero", dir + "zero.emf"));

    std::vector<TEmfPageEntry> pages;
    ScanEMFFiles(pages, dir, dir.size());
    QStringList captions;
    QList<qint64> sizes;
    for (const auto& p : pages) captions << p.Caption, sizes << p.Size;
    QCOMPARE(captions, (QStringList{".hidden.emf", "a/PAGE1.EMF", "b/c/deep.Emf", "B0.emf", "folder.emf/inner.emf",
                                    "page1.emf", "zlink.emf"}));
    QCOMPARE(sizes, (QList<qint64>{2, 345, 7, 1, 3, 12, 12}));
    TEmfPicture picture;
    QString error;
    QVERIFY(!picture.LoadFromFile(dir + "pipe.emf", &error));
    QVERIFY(!picture.LoadFromFile(dir + "zero.emf", &error));
    QVERIFY(!error.isEmpty());

    pages.clear();
    ScanEMFFiles(pages, Preview("9.9"), 0);
    QVERIFY(pages.empty());
  }

  // --- the window ---------------------------------------------------------

  void twoVersionsTheLastIsChosenOnShow() {
    QVERIFY(WriteFile(Preview("1.0") + "one.emf", TEmfWriter::Filled(kRed)));
    QVERIFY(WriteFile(Preview("2.0") + "a/PAGE1.EMF", TEmfWriter::Filled(kBlue)));
    QVERIFY(WriteFile(Preview("2.0") + "page1.emf.bak", "x"));
    TfrmEMFSelect w;
    QCOMPARE(w.windowTitle(), QString("Morvo Object Reader - Print EMF Files"));
    w.show();
    auto captions = [](QMenu* m) {
      QStringList r;
      for (QAction* a : m->actions()) r << a->text();
      return r;
    };
    QCOMPARE(captions(w.mnuVersion), (QStringList{"1.0", "2.0"}));
    QCOMPARE(captions(w.pmQSVersie), (QStringList{"1.0", "2.0"}));
    QCOMPARE(w.cbQSVersion->count(), 2);
    QCOMPARE(w.cbQSVersion->itemText(0), QString("QS 1.0"));
    QCOMPARE(w.cbQSVersion->currentText(), QString("QS 2.0"));
    QCOMPARE(w.lbVersion->text(), QString("QS 2.0"));
    QVERIFY(!w.mnuVersion->actions()[0]->isChecked() && w.mnuVersion->actions()[1]->isChecked());
    QVERIFY(!w.pmQSVersie->actions()[0]->isChecked() && w.pmQSVersie->actions()[1]->isChecked());
    QCOMPARE(w.FPreviewDir, Preview("2.0"));
    QCOMPARE(Captions(w.lbAvailable), QStringList{"a/PAGE1.EMF"});
    QCOMPARE(w.lbAvailable->topLevelItem(0)->text(1), QString::number(TEmfWriter::Filled(kBlue).size()));

    // Choosing 1.0 in the combo box empties both lists and lists its pages.
    w.lbAvailable->topLevelItem(0)->setSelected(true);
    w.btnSelectOneClick();
    QCOMPARE(w.lbSelected->topLevelItemCount(), 1);
    w.cbQSVersion->setCurrentIndex(0);
    w.cbQSVersionChange();
    QCOMPARE(Captions(w.lbAvailable), QStringList{"one.emf"});
    QCOMPARE(w.lbSelected->topLevelItemCount(), 0);
    QCOMPARE(w.lbVersion->text(), QString("QS 1.0"));
    QVERIFY(w.pmQSVersie->actions()[0]->isChecked() && !w.pmQSVersie->actions()[1]->isChecked());

    // A second showing starts again from the folders.
    w.hide();
    w.show();
    QCOMPARE(w.mnuVersion->actions().size(), 2);
    QCOMPARE(w.lbVersion->text(), QString("QS 2.0"));
  }

  void aVersionNamedWithAmpersandsKeepsThem() {
    QVERIFY(WriteFile(Preview("&.&") + "one.emf", TEmfWriter::Filled(kRed)));
    QVERIFY(WriteFile(Preview("1.0") + "two.emf", TEmfWriter::Filled(kRed)));
    TfrmEMFSelect w;
    w.show();
    QCOMPARE(w.cbQSVersion->itemText(0), QString("QS &.&"));
    w.pmQSVersie->actions()[0]->trigger();
    QCOMPARE(w.lbVersion->text(), QString("QS &.&"));
    QCOMPARE(w.FPreviewDir, Preview("&.&"));
    QCOMPARE(Captions(w.lbAvailable), QStringList{"one.emf"});
    QVERIFY(w.mnuVersion->actions()[0]->isChecked() && !w.mnuVersion->actions()[1]->isChecked());
  }

  void noVersionsLeavesEverythingEmpty() {
    TfrmEMFSelect w;
    w.show();
    // The progress window waits for a print job, however long the window
    // stands: a new one would show itself by a timer, this one has none.
    auto timing = [](QObject* Dialog) {
      const auto timers = Dialog->findChildren<QTimer*>();
      return std::any_of(timers.begin(), timers.end(), [](QTimer* T) { return T->isActive(); });
    };
    QProgressDialog fresh;
    QVERIFY(timing(&fresh));
    QVERIFY(!timing(w.JvProgressDlg1));
    QVERIFY(!w.JvProgressDlg1->isVisible());
    QVERIFY(w.mnuVersion->actions().isEmpty());
    QCOMPARE(w.cbQSVersion->count(), 0);
    QCOMPARE(w.lbAvailable->topLevelItemCount(), 0);
    QVERIFY(w.FPreviewDir.isEmpty());
    w.btnPrintClick();
    QVERIFY(dialogs::Recorded().isEmpty());  // an empty right list prints nothing, asks nothing
  }

  void movesKeepOrderAndSelectTheFollowingItem() {
    TfrmEMFSelect w;
    Fill(w.lbAvailable, {"A", "B", "C", "D", "E"});
    Fill(w.lbSelected, {"X"});
    SelectRows(w.lbAvailable, {1, 2});
    w.btnSelectOneClick();
    QCOMPARE(Captions(w.lbSelected), (QStringList{"X", "B", "C"}));
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"A", "D", "E"}));
    QCOMPARE(SelectedRows(w.lbAvailable), QList<int>{2});
    QCOMPARE(SelectedRows(w.lbSelected), QList<int>{});

    // The last item moved: the list is shorter, its new last item is selected.
    SelectRows(w.lbAvailable, {2});
    w.oright1->trigger();
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"A", "D"}));
    QCOMPARE(SelectedRows(w.lbAvailable), QList<int>{1});

    // Nothing selected: nothing moves, the first item becomes selected.
    w.lbSelected->clearSelection();
    w.BtnUnselectOneClick();
    QCOMPARE(Captions(w.lbSelected), (QStringList{"X", "B", "C", "E"}));
    QCOMPARE(SelectedRows(w.lbSelected), QList<int>{0});

    // "<<" moves everything back; the emptied list selects nothing.
    w.btnUnselectAllClick();
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"A", "D", "X", "B", "C", "E"}));
    QCOMPARE(w.lbSelected->topLevelItemCount(), 0);
    w.BtnUnselectOneClick();  // on an empty list
    QCOMPARE(w.lbAvailable->topLevelItemCount(), 6);

    // Double clicks move as the buttons do; "Select All" takes the whole left list.
    SelectRows(w.lbAvailable, {0});
    w.lbAvailableDblClick();
    QCOMPARE(Captions(w.lbSelected), QStringList{"A"});
    // Ctrl+A in the list is the menu's Select All, not the list's own.
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.lbAvailable, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(w.lbAvailable->topLevelItemCount(), 0);
    QCOMPARE(Captions(w.lbSelected), (QStringList{"A", "D", "X", "B", "C", "E"}));

    // A real double click moves the item and selects the one that takes its
    // place, not whatever now stands under the mouse.
    auto centre = [&](int Row) { return w.lbSelected->visualItemRect(w.lbSelected->topLevelItem(Row)).center(); };
    // A double click reaches a list as press, release, double click, release.
    auto doubleClick = [&](QPoint At) {
      QTest::mouseClick(w.lbSelected->viewport(), Qt::LeftButton, {}, At);
      QTest::mouseDClick(w.lbSelected->viewport(), Qt::LeftButton, {}, At);
      QTest::mouseRelease(w.lbSelected->viewport(), Qt::LeftButton, {}, At);
    };
    doubleClick(centre(1));
    QCOMPARE(Captions(w.lbAvailable), QStringList{"D"});
    QCOMPARE(Captions(w.lbSelected), (QStringList{"A", "X", "B", "C", "E"}));
    QCOMPARE(SelectedRows(w.lbSelected), QList<int>{1});
    // In the free space below the items: the click clears the selection,
    // nothing moves, and the first item becomes selected.
    const QPoint below(5, w.lbSelected->visualItemRect(w.lbSelected->topLevelItem(4)).bottom() + 20);
    QVERIFY(below.y() < w.lbSelected->viewport()->height());
    doubleClick(below);
    QCOMPARE(w.lbSelected->topLevelItemCount(), 5);
    QCOMPARE(SelectedRows(w.lbSelected), QList<int>{0});
  }

  void headersSortNamesAsTextAndSizesAsNumbers() {
    QVERIFY(WriteFile(Preview("1.0") + "b.emf", QByteArray(10, 'x')));
    QVERIFY(WriteFile(Preview("1.0") + "a.emf", QByteArray(9, 'x')));
    QVERIFY(WriteFile(Preview("1.0") + "c.emf", QByteArray(100, 'x')));
    TfrmEMFSelect w;
    w.show();
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"a.emf", "b.emf", "c.emf"}));
    emit w.lbAvailable->header()->sectionClicked(1);
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"a.emf", "b.emf", "c.emf"}));  // 9, 10, 100
    emit w.lbAvailable->header()->sectionClicked(1);
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"c.emf", "b.emf", "a.emf"}));
    emit w.lbAvailable->header()->sectionClicked(0);
    QCOMPARE(Captions(w.lbAvailable), (QStringList{"a.emf", "b.emf", "c.emf"}));
  }

  void previewShowsTheFirstSelectedPage() {
    QVERIFY(WriteFile(Preview("1.0") + "1.emf", TEmfWriter::Filled(kRed)));
    QVERIFY(WriteFile(Preview("1.0") + "2.emf", TEmfWriter::Filled(kBlue)));
    QVERIFY(WriteFile(Preview("1.0") + "3.emf", TEmfWriter::Filled(kRed).left(120)));
    TfrmEMFSelect w;
    w.show();
    QCOMPARE(w.lbAvailable->topLevelItemCount(), 3);
    QCOMPARE(w.PreviewImage().size(), QSize(80, 100));

    SelectRows(w.lbAvailable, {1, 0});
    w.lbAvailableClick();
    QVERIFY(Near(w.PreviewImage().pixel(40, 50), Qt::red));
    QVERIFY(Near(w.PreviewImage().pixel(79, 99), Qt::red));  // stretched to the corner

    // A click with nothing selected leaves the page shown.
    const QImage before = w.PreviewImage();
    w.lbAvailable->clearSelection();
    w.lbAvailableClick();
    QCOMPARE(w.PreviewImage(), before);

    // A cut page: crossed out, and the reason in the tool tip.
    SelectRows(w.lbAvailable, {2});
    w.lbAvailableClick();
    QVERIFY(Near(w.PreviewImage().pixel(40, 50), Qt::red, 60));
    QVERIFY(Near(w.PreviewImage().pixel(10, 50), Qt::white));
    QVERIFY(w.pPreview->toolTip().contains("3.emf"));
    QVERIFY(w.pPreview->toolTip().contains("cut short"));

    // The right list previews too, through a real mouse click.
    SelectRows(w.lbAvailable, {1});
    w.btnSelectOneClick();
    w.lbSelected->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(w.lbSelected->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      w.lbSelected->visualItemRect(w.lbSelected->topLevelItem(0)).center());
    // The control click toggled the item off again: nothing selected, the
    // cut page's cross stays.
    QVERIFY(Near(w.PreviewImage().pixel(10, 50), Qt::white));
    QTest::mouseClick(w.lbSelected->viewport(), Qt::LeftButton, {},
                      w.lbSelected->visualItemRect(w.lbSelected->topLevelItem(0)).center());
    QVERIFY(Near(w.PreviewImage().pixel(10, 50), Qt::blue));
    QVERIFY(w.pPreview->toolTip().isEmpty());
  }

  // --- printing -------------------------------------------------------------

  void printingThroughTheDialogFacade_data() {
    QTest::addColumn<int>("range");  // 0 all, 1 selection, 2 pages from-to
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("printed");  // list indexes, in sheet order
    QTest::newRow("all") << 0 << 0 << 0 << QList<int>{} << QList<int>{0, 1, 2, 3};
    QTest::newRow("range 2 to 3") << 2 << 2 << 3 << QList<int>{0} << QList<int>{1, 2};
    QTest::newRow("range past the end") << 2 << 3 << 9 << QList<int>{} << QList<int>{2, 3};
    QTest::newRow("selection") << 1 << 0 << 0 << QList<int>{3, 0} << QList<int>{0, 3};
  }

  void printingThroughTheDialogFacade() {
    QFETCH(int, range);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, printed);
    const QList<QColor> colors = {Qt::red, QColor(0, 160, 0), Qt::blue, QColor(255, 220, 0)};
    const uint32_t refs[] = {kRed, kGreen, kBlue, kYellow};
    for (int i = 0; i < 4; ++i)
      QVERIFY(WriteFile(Preview("2.1") + QString("p%1.emf").arg(i), TEmfWriter::Filled(refs[i])));

    ConnectEMFSelectHost();
    QTemporaryDir tmp;
    const QString pdf = tmp.filePath("out.pdf");
    dialogs::QueuePrintAnswer([&](QPrinter* P) {
      P->setOutputFormat(QPrinter::PdfFormat);
      P->setOutputFileName(pdf);
      P->setPrintRange(range == 0 ? QPrinter::AllPages : range == 1 ? QPrinter::Selection : QPrinter::PageRange);
      if (range == 2) P->setFromTo(from, to);
      return true;
    });
    TfrmEMFSelect w;
    w.show();
    w.btnSelectAllClick();
    QCOMPARE(w.lbSelected->topLevelItemCount(), 4);
    w.lbSelected->clearSelection();
    for (int r : selected) w.lbSelected->topLevelItem(r)->setSelected(true);
    w.btnPrintClick();

    QCOMPARE(dialogs::Recorded().size(), 1);
    QCOMPARE(dialogs::Recorded()[0].Kind, QString("print"));
    QCOMPARE(dialogs::Recorded()[0].Text, QString("1-4"));
    QVERIFY(!w.JvProgressDlg1->isVisible());
    const int rangeLength = range == 2 ? std::min(to, 4) - from + 1 : 4;
    QCOMPARE(w.JvProgressDlg1->maximum(), 3 * rangeLength);
    QVERIFY(w.JvProgressDlg1->labelText().startsWith("Printing pages to "));

    QVERIFY(QFile::exists(pdf));
    QCOMPARE(PdfPages(pdf), int(printed.size()));
    QCOMPARE(PdfTitle(pdf), QString("Quillset 2.1 preview"));
    for (int sheet = 0; sheet < printed.size(); ++sheet) {
      const QImage page = PdfPageImage(pdf, sheet + 1);
      QVERIFY(!page.isNull());
      const QColor want = colors[printed[sheet]];
      // The page covers the printable area: its middle and points near the
      // edges of the sheet's printable part.
      QVERIFY2(Near(page.pixel(page.width() / 2, page.height() / 2), want), qPrintable(QString::number(sheet)));
      QVERIFY(Near(page.pixel(page.width() / 8, page.height() / 10), want));
      QVERIFY(Near(page.pixel(page.width() * 7 / 8, page.height() * 9 / 10), want));
    }
  }

  void cancelledOrDamagedPrintingWritesNothing() {
    QVERIFY(WriteFile(Preview("1.0") + "good.emf", TEmfWriter::Filled(kRed)));
    QVERIFY(WriteFile(Preview("1.0") + "torn.emf", TEmfWriter::Filled(kBlue).chopped(20)));
    ConnectEMFSelectHost();
    QTemporaryDir tmp;
    const QString pdf = tmp.filePath("out.pdf");
    TfrmEMFSelect w;
    w.show();
    w.btnSelectAllClick();

    dialogs::QueuePrintAnswer([&](QPrinter* P) {
      P->setOutputFormat(QPrinter::PdfFormat);
      P->setOutputFileName(pdf);
      return false;
    });
    w.mnuPrintfiles->trigger();
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(!w.JvProgressDlg1->isVisible());

    // The torn page is found before the job begins; the user is told which.
    dialogs::ClearRecorded();
    dialogs::QueuePrintAnswer([&](QPrinter* P) {
      P->setOutputFormat(QPrinter::PdfFormat);
      P->setOutputFileName(pdf);
      return true;
    });
    dialogs::QueueMessageAnswer(1);
    w.btnPrintClick();
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(dialogs::Recorded().size(), 2);
    QCOMPARE(dialogs::Recorded()[1].Kind, QString("message"));
    QVERIFY(dialogs::Recorded()[1].Text.contains("torn.emf"));
    QVERIFY(dialogs::Recorded()[1].Text.contains("Nothing was printed"));
    QVERIFY(!w.JvProgressDlg1->isVisible());
  }

  void theWindowRunsOnceAndIsFreed() {
    QVERIFY(WriteFile(Preview("1.0") + "one.emf", TEmfWriter::Filled(kRed)));
    bool seen = false;
    dialogs::QueueDialogAction([&](QDialog* D) {
      seen = D == frmEMFSelect && frmEMFSelect->lbAvailable->topLevelItemCount() == 1;
      frmEMFSelect->Close1->trigger();
    });
    ExecEMFSelect();
    QVERIFY(seen);
    QVERIFY(frmEMFSelect == nullptr);
    QCOMPARE(dialogs::Recorded().size(), 1);
    QCOMPARE(dialogs::Recorded()[0].Text, QString("frmEMFSelect"));
  }

  void theMenuCommandAndTheSwitchRunTheWindow() {
    QVERIFY(WriteFile(Preview("1.0") + "one.emf", TEmfWriter::Filled(kRed)));
    CreateAllForms();
    QVERIFY(FrmMorvoReader);
    int pages = -1;
    dialogs::QueueDialogAction([&](QDialog*) { pages = frmEMFSelect->lbAvailable->topLevelItemCount(); });
    QAction* command = FrmMorvoReader->findChild<QAction*>("ActEMFPrint");
    QVERIFY(command);
    command->trigger();
    QCOMPARE(pages, 1);
    QVERIFY(!frmEMFSelect);
    QVERIFY(FrmMorvoReader);  // the main window stays

    // "/V" in any case: the window alone, then every window goes.
    pages = -1;
    bool mainShown = true;
    dialogs::QueueDialogAction([&](QDialog*) {
      pages = frmEMFSelect->lbAvailable->topLevelItemCount();
      mainShown = FrmMorvoReader && FrmMorvoReader->isVisible();
    });
    QVERIFY(RunUnattendedCommand({"morvo-reader", "/V"}));
    QCOMPARE(pages, 1);
    QVERIFY(!mainShown);
    QVERIFY(!frmEMFSelect);
    QVERIFY(!FrmMorvoReader);
    QVERIFY(!FrmWait);
  }

  // Printing the selection with nothing selected starts no job: no blank sheet.
  void anEmptySelectionPrintsNothingAndSaysSo() {
    QVERIFY(WriteFile(Preview("1.0") + "one.emf", TEmfWriter::Filled(kRed)));
    ConnectEMFSelectHost();
    QTemporaryDir tmp;
    dialogs::QueuePrintAnswer([&](QPrinter* P) {
      P->setOutputFileName(tmp.filePath("out.pdf"));
      P->setPrintRange(QPrinter::Selection);
      return true;
    });
    TfrmEMFSelect w;
    w.show();
    w.btnSelectAllClick();
    w.lbSelected->clearSelection();
    w.btnPrintClick();
    QVERIFY(!QFile::exists(tmp.filePath("out.pdf")));
    QCOMPARE(dialogs::Recorded().value(1).Text, QString("No page is selected: nothing was printed."));
  }
};

QTEST_MAIN(TestEmf)
#include "tst_emf.moc"
