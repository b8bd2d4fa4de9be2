// Raster operations: how a pen, a brush or a copied bitmap combines with what
// the page already shows.
#include <QPaintEngine>

#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

// An operation on two operands, X (pen, brush or bitmap) and the page D,
// as the four bits of its truth table: bit (2 * X + D).
enum : int { kBlack = 0x0, kKeep = 0xA, kCopy = 0xC, kWhite = 0xF };

QPainter::CompositionMode ModeOf(int Table) {
  switch (Table) {
    case 0x1:
      return QPainter::RasterOp_NotSourceAndNotDestination;
    case 0x2:
      return QPainter::RasterOp_NotSourceAndDestination;
    case 0x3:
      return QPainter::RasterOp_NotSource;
    case 0x4:
      return QPainter::RasterOp_SourceAndNotDestination;
    case 0x5:
      return QPainter::RasterOp_NotDestination;
    case 0x6:
      return QPainter::RasterOp_SourceXorDestination;
    case 0x7:
      return QPainter::RasterOp_NotSourceOrNotDestination;
    case 0x8:
      return QPainter::RasterOp_SourceAndDestination;
    case 0x9:
      return QPainter::RasterOp_NotSourceXorDestination;
    case 0xB:
      return QPainter::RasterOp_NotSourceOrDestination;
    case 0xD:
      return QPainter::RasterOp_SourceOrNotDestination;
    case 0xE:
      return QPainter::RasterOp_SourceOrDestination;
    default:
      return QPainter::CompositionMode_SourceOver;
  }
}

// Three-operand operations (brush P, bitmap S, page D) index their truth
// table by bit (4 * P + 2 * S + D); these pick the two-operand tables out.
bool UsesPattern(int Index) { return ((Index >> 4) ^ Index) & 0x0F; }
int SourceTable(int Index) { return Index & 0x0F; }
int PatternTable(int Index) { return (Index & 0x3) | ((Index >> 2) & 0xC); }

// Pixels of Image combined with Color by Op, bit by bit.
QImage Combined(const QImage& Image, QRgb Color, bool NotImage, bool Or) {
  QImage out = Image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb s = NotImage ? ~line[x] : line[x];
      line[x] = 0xFF000000u | ((Or ? (s | Color) : (s & Color)) & 0x00FFFFFFu);
    }
  }
  return out;
}

}  // namespace

std::span<const TRecordEntry> TPlayer::RasterOpRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_SETROP2,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         if (R.U32(8) >= 1 && R.U32(8) <= 16) Self.S.Rop2 = R.U32(8);
         return true;
       }},
  };
  return kRecords;
}

// Pixels of one colour made transparent: where a device cannot combine with
// what it shows, a mask's white or an image's black lets the page through.
QImage ClearOf(const QImage& Image, QRgb Clear) {
  QImage out = Image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((line[x] & 0x00FFFFFFu) == (Clear & 0x00FFFFFFu)) line[x] = 0;
  }
  return out;
}

bool TPlayer::RasterOpsWork() const {
  const QPaintEngine* engine = P.paintEngine();
  return engine && engine->hasFeature(QPaintEngine::RasterOpModes);
}

void TPlayer::ApplyRop2(QPen& Pen, QBrush& Brush) {
  const int table = int((S.Rop2 - 1) & 0x0F);
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  auto recolor = [&](const QColor& Color) {
    if (Pen.style() != Qt::NoPen) Pen.setColor(Color);
    if (Brush.style() != Qt::NoBrush) Brush = QBrush(Color);
  };
  if (table == kBlack) {
    recolor(Qt::black);
  } else if (table == kWhite) {
    recolor(Qt::white);
  } else if (table == kKeep) {
    Pen = QPen(Qt::NoPen);
    Brush = QBrush(Qt::NoBrush);
  } else if (RasterOpsWork()) {
    mode = ModeOf(table);
  }
  // Edges blended half into the page would be combined twice. Either
  // setting costs the painter even when it stays, so it is made on change.
  const bool smooth = mode == QPainter::CompositionMode_SourceOver;
  if (P.compositionMode() != mode) P.setCompositionMode(mode);
  if (P.testRenderHint(QPainter::Antialiasing) != smooth) P.setRenderHint(QPainter::Antialiasing, smooth);
}

void TPlayer::FillRop(const QRectF& Dest, uint32_t Rop) {
  const int table = PatternTable(int((Rop >> 16) & 0xFF));
  Prepare(false);
  P.setRenderHint(QPainter::Antialiasing, false);
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  QBrush brush = S.Brush.style() == Qt::TexturePattern ? OnDevicePixels(S.Brush) : S.Brush;
  if (table == kKeep) return;
  // Black, white and inverting the page need no brush.
  if (table == kBlack || table == kWhite || table == 0x5)
    brush = QBrush(table == kBlack ? Qt::black : Qt::white);
  else if (brush.style() == Qt::NoBrush)
    return;
  if (RasterOpsWork())
    P.setCompositionMode(ModeOf(table));
  else if (table == 0x5)
    return;  // inverting what a printer shows cannot be done
  P.fillRect(Dest, brush);
}

bool TPlayer::BlitThreeWay(QRectF Dest, QImage Image, QRectF Source, int Index) {
  QPaintDevice* device = P.device();
  if (!device || device->devType() != QInternal::Image) return false;
  const auto* shown = static_cast<const QImage*>(device);
  const QTransform total = Total();
  if (total.isRotating()) return false;
  Prepare(false);
  const QRect area = total.mapRect(Dest).toAlignedRect().intersected(shown->rect());
  if (area.isEmpty() || Source.isEmpty()) return true;
  // The bitmap and the brush as they land on the area's pixels, and the
  // pixels there.
  QImage source(area.size(), QImage::Format_RGB32), pattern(area.size(), QImage::Format_RGB32);
  source.fill(Qt::black);
  pattern.fill(Qt::black);
  {
    QPainter onSource(&source);
    onSource.setTransform(total * QTransform::fromTranslate(-area.left(), -area.top()));
    onSource.drawImage(Dest, Image, Source);
    QPainter onPattern(&pattern);
    onPattern.setBrushOrigin(-area.topLeft());
    if (S.Brush.style() != Qt::NoBrush) onPattern.fillRect(pattern.rect(), S.Brush);
  }
  const QImage page = shown->copy(area).convertToFormat(QImage::Format_RGB32);
  QImage out(area.size(), QImage::Format_RGB32);
  // Each bit of the result is the operation's truth table at the bits of
  // brush, bitmap and page.
  for (int y = 0; y < out.height(); ++y) {
    const auto* p = reinterpret_cast<const QRgb*>(pattern.constScanLine(y));
    const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    const auto* d = reinterpret_cast<const QRgb*>(page.constScanLine(y));
    auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      uint32_t bits = 0;
      for (int i = 0; i < 8; ++i)
        if (Index & (1 << i)) bits |= (i & 4 ? p[x] : ~p[x]) & (i & 2 ? s[x] : ~s[x]) & (i & 1 ? d[x] : ~d[x]);
      o[x] = 0xFF000000u | (bits & 0x00FFFFFFu);
    }
  }
  P.setTransform(QTransform());
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  P.setRenderHint(QPainter::Antialiasing, false);
  P.drawImage(area.topLeft(), out);
  return true;
}

void TPlayer::BlitImage(QRectF Dest, QImage Image, QRectF Source, uint32_t Rop) {
  const int index = int((Rop >> 16) & 0xFF);
  const QRgb pattern = S.Brush.color().rgb();
  Unmirror(Dest, Image, Source);
  ShrinkByStretchMode(Dest, Image, Source);
  QImage image = Image;
  int table = SourceTable(index);
  if (UsesPattern(index)) {
    // Combined pixel by pixel where the page's pixels can be read. Elsewhere
    // those producers use: the brush and the bitmap (MERGECOPY), the brush
    // or the inverted bitmap or the page (PATPAINT); the others copy.
    if (BlitThreeWay(Dest, Image, Source, index)) return;
    if (index == 0xC0) {
      image = Combined(Image, pattern, false, false);
      table = kCopy;
    } else if (index == 0xFB) {
      image = Combined(Image, pattern, true, true);
      table = 0xE;
    } else {
      table = kCopy;
    }
  }
  QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
  if (RasterOpsWork()) {
    mode = ModeOf(table);
  } else if (table == 0x8) {
    image = ClearOf(image, qRgb(255, 255, 255));
  } else if (table == 0xE || table == 0x6) {
    image = ClearOf(image, qRgb(0, 0, 0));
  } else if (table == 0x3) {
    image.invertPixels();
  }
  DrawImage(Dest, image, Source, mode);
}

}  // namespace emfplay
