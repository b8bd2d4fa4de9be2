#include "EmfPlayer.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRegion>
#include <QTransform>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Record types of the format that the player acts on.
enum : uint32_t {
  EMR_HEADER = 1,
  EMR_POLYBEZIER = 2,
  EMR_POLYGON = 3,
  EMR_POLYLINE = 4,
  EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6,
  EMR_POLYPOLYLINE = 7,
  EMR_POLYPOLYGON = 8,
  EMR_SETWINDOWEXTEX = 9,
  EMR_SETWINDOWORGEX = 10,
  EMR_SETVIEWPORTEXTEX = 11,
  EMR_SETVIEWPORTORGEX = 12,
  EMR_EOF = 14,
  EMR_SETMAPMODE = 17,
  EMR_SETBKMODE = 18,
  EMR_SETPOLYFILLMODE = 19,
  EMR_SETTEXTALIGN = 22,
  EMR_SETTEXTCOLOR = 24,
  EMR_SETBKCOLOR = 25,
  EMR_MOVETOEX = 27,
  EMR_EXCLUDECLIPRECT = 29,
  EMR_INTERSECTCLIPRECT = 30,
  EMR_SAVEDC = 33,
  EMR_RESTOREDC = 34,
  EMR_SETWORLDTRANSFORM = 35,
  EMR_MODIFYWORLDTRANSFORM = 36,
  EMR_SELECTOBJECT = 37,
  EMR_CREATEPEN = 38,
  EMR_CREATEBRUSHINDIRECT = 39,
  EMR_DELETEOBJECT = 40,
  EMR_ELLIPSE = 42,
  EMR_RECTANGLE = 43,
  EMR_ROUNDRECT = 44,
  EMR_ARC = 45,
  EMR_CHORD = 46,
  EMR_PIE = 47,
  EMR_LINETO = 54,
  EMR_SETARCDIRECTION = 57,
  EMR_BEGINPATH = 59,
  EMR_ENDPATH = 60,
  EMR_CLOSEFIGURE = 61,
  EMR_FILLPATH = 62,
  EMR_STROKEANDFILLPATH = 63,
  EMR_STROKEPATH = 64,
  EMR_SELECTCLIPPATH = 67,
  EMR_ABORTPATH = 68,
  EMR_EXTSELECTCLIPRGN = 75,
  EMR_BITBLT = 76,
  EMR_STRETCHBLT = 77,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTA = 83,
  EMR_EXTTEXTOUTW = 84,
  EMR_POLYBEZIER16 = 85,
  EMR_POLYGON16 = 86,
  EMR_POLYLINE16 = 87,
  EMR_POLYBEZIERTO16 = 88,
  EMR_POLYLINETO16 = 89,
  EMR_POLYPOLYLINE16 = 90,
  EMR_POLYPOLYGON16 = 91,
  EMR_CREATEMONOBRUSH = 93,
  EMR_CREATEDIBPATTERNBRUSHPT = 94,
  EMR_EXTCREATEPEN = 95,
};

constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr int kHeaderMinSize = 88;
constexpr qint64 kMaxFileSize = 256LL * 1024 * 1024;
constexpr int kMaxSavedStates = 1024;
constexpr qint64 kMaxBitmapPixels = 64LL * 1024 * 1024;
constexpr double kMaxGlyphPixels = 2048;

// Bounds-checked little-endian reads inside one record.
class TRecord {
 public:
  TRecord(const uchar* Data, uint32_t Size) : FData(Data), FSize(Size) {}
  uint32_t Size() const { return FSize; }
  bool Has(uint64_t Offset, uint64_t Count) const { return Offset <= FSize && Count <= FSize - Offset; }
  uint32_t U32(uint32_t Offset) const {
    if (!Has(Offset, 4)) return 0;
    return uint32_t(FData[Offset]) | uint32_t(FData[Offset + 1]) << 8 | uint32_t(FData[Offset + 2]) << 16 |
           uint32_t(FData[Offset + 3]) << 24;
  }
  int32_t I32(uint32_t Offset) const { return static_cast<int32_t>(U32(Offset)); }
  int16_t I16(uint32_t Offset) const {
    if (!Has(Offset, 2)) return 0;
    return static_cast<int16_t>(uint16_t(FData[Offset]) | uint16_t(FData[Offset + 1]) << 8);
  }
  uint16_t U16(uint32_t Offset) const { return static_cast<uint16_t>(I16(Offset)); }
  uint8_t U8(uint32_t Offset) const { return Has(Offset, 1) ? FData[Offset] : 0; }
  float F32(uint32_t Offset) const {
    const uint32_t bits = U32(Offset);
    float f;
    std::memcpy(&f, &bits, 4);
    return std::isfinite(f) ? f : 0.0f;
  }
  const uchar* At(uint32_t Offset) const { return FData + Offset; }

 private:
  const uchar* FData;
  uint32_t FSize;
};

QColor ColorOf(uint32_t ColorRef) {
  return QColor(int(ColorRef & 0xFF), int((ColorRef >> 8) & 0xFF), int((ColorRef >> 16) & 0xFF));
}

struct TGdiObject {
  enum TKind { kPen, kBrush, kFont } Kind = kPen;
  QPen Pen;
  QBrush Brush;
  QFont Font;
  double FontHeight = 0;      // logical units; negative: character height, positive: cell height
  double FontEscapement = 0;  // tenths of a degree, counter-clockwise
};

struct TDrawState {
  int MapMode = 1;  // MM_TEXT
  QPointF WindowOrg, ViewportOrg;
  QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
  QTransform World;
  QPen Pen{QColor(Qt::black), 0};
  QBrush Brush{Qt::white};
  QFont Font;
  double FontHeight = 0;
  double FontEscapement = 0;
  QColor TextColor{Qt::black};
  QColor BkColor{Qt::white};
  bool BkOpaque = true;
  uint32_t TextAlign = 0;
  Qt::FillRule FillRule = Qt::OddEvenFill;
  QPointF Current;
  bool Clockwise = false;  // direction of arcs
  // In device pixels. A region rather than a path: the path operations lose
  // their way on the extreme coordinates of damaged pages and crash.
  std::optional<QRegion> Clip;
};

Qt::PenStyle PenStyleOf(uint32_t Style) {
  switch (Style & 0x0F) {
    case 1:
      return Qt::DashLine;
    case 2:
      return Qt::DotLine;
    case 3:
      return Qt::DashDotLine;
    case 4:
      return Qt::DashDotDotLine;
    case 5:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

QBrush BrushOf(uint32_t Style, uint32_t Color, uint32_t Hatch) {
  switch (Style) {
    case 1:  // BS_NULL
      return QBrush(Qt::NoBrush);
    case 2: {  // BS_HATCHED
      static const Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                              Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(ColorOf(Color), Hatch < 6 ? kHatch[Hatch] : Qt::SolidPattern);
    }
    default:
      return QBrush(ColorOf(Color));
  }
}

// The objects every drawing state can select without creating them.
std::optional<TGdiObject> StockObject(uint32_t Index) {
  TGdiObject o;
  switch (Index) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4: {
      static const int kGray[] = {255, 192, 128, 64, 0};
      o.Kind = TGdiObject::kBrush;
      o.Brush = QBrush(QColor(kGray[Index], kGray[Index], kGray[Index]));
      return o;
    }
    case 5:
      o.Kind = TGdiObject::kBrush;
      o.Brush = QBrush(Qt::NoBrush);
      return o;
    case 6:
      o.Pen = QPen(QColor(Qt::white), 0);
      return o;
    case 7:
      o.Pen = QPen(QColor(Qt::black), 0);
      return o;
    case 8:
      o.Pen = QPen(Qt::NoPen);
      return o;
    case 10:
    case 11:
    case 16:
      o.Kind = TGdiObject::kFont;
      o.Font = QFont(QStringLiteral("Monospace"));
      o.Font.setStyleHint(QFont::TypeWriter);
      o.FontHeight = 16;
      return o;
    case 12:
    case 13:
    case 14:
    case 17:
      o.Kind = TGdiObject::kFont;
      o.Font = QFont(QStringLiteral("Sans Serif"));
      o.FontHeight = 16;
      return o;
    default:
      return std::nullopt;
  }
}

class TPlayer {
 public:
  TPlayer(QPainter& Painter, const QTransform& ToDest, QSize DevPx, QSize DevMm, int Handles)
      : P(Painter), FToDest(ToDest), FDevPx(DevPx), FDevMm(DevMm), FHandles(size_t(std::max(Handles, 1))) {}

  // Plays one record; false when its contents do not fit it.
  bool Play(uint32_t Type, const TRecord& R);

 private:
  QPainter& P;
  QTransform FToDest;
  QSize FDevPx, FDevMm;
  TDrawState S;
  std::vector<TDrawState> FSaved;
  std::vector<std::optional<TGdiObject>> FHandles;

  QTransform PageTransform() const;
  QTransform Total() const { return S.World * PageTransform() * FToDest; }
  void Prepare(bool Fill);
  QPointF Pt32(const TRecord& R, uint32_t Off) const { return QPointF(R.I32(Off), R.I32(Off + 4)); }
  QRectF Rect32(const TRecord& R, uint32_t Off) const {
    const double l = R.I32(Off), t = R.I32(Off + 4), r = R.I32(Off + 8), b = R.I32(Off + 12);
    return QRectF(QPointF(l, t), QPointF(r, b)).normalized();
  }
  bool ReadPoints(const TRecord& R, uint32_t CountOff, bool Short, QPolygonF& Out) const;
  bool ReadPolyPoints(const TRecord& R, bool Short, std::vector<QPolygonF>& Out) const;
  bool PlayText(const TRecord& R, bool Wide);
  // Combines Area (device pixels) with the clip: 1 intersect, 2 unite,
  // 3 either but not both, 4 take away, 5 replace.
  void CombineClip(const QRegion& Area, uint32_t Mode);
  // The pixels of Path (destination coordinates) within reach of the device.
  QRegion RegionOf(const QPainterPath& Path, Qt::FillRule Rule) const;
  QRectF Reach() const;
  bool PlayDib(const TRecord& R);
  // Source of Image stretched over Dest (logical coordinates).
  void DrawImage(const QRectF& Dest, const QImage& Image, const QRectF& Source);
  bool PlayBlt(uint32_t Type, const TRecord& R);
  bool PlayArc(uint32_t Type, const TRecord& R);
  void DrawPath(const QPainterPath& Path, bool Fill, bool Stroke);
  // Between the start and end of a path, figures are gathered instead of drawn.
  std::optional<QPainterPath> FPath;
  bool FPathOpen = false;
  void PathMoveIfEmpty() {
    if (FPath->elementCount() == 0) FPath->moveTo(S.Current);
  }
  bool Store(uint32_t Index, TGdiObject Object);
  void Select(uint32_t Index);
};

QTransform TPlayer::PageTransform() const {
  double sx = 1, sy = 1;
  const double pxPerMmX = FDevMm.width() > 0 ? double(FDevPx.width()) / FDevMm.width() : 96 / 25.4;
  const double pxPerMmY = FDevMm.height() > 0 ? double(FDevPx.height()) / FDevMm.height() : 96 / 25.4;
  auto metric = [&](double MmPerUnit) {
    sx = MmPerUnit * pxPerMmX;
    sy = -MmPerUnit * pxPerMmY;  // the metric modes count upwards
  };
  switch (S.MapMode) {
    case 2:
      metric(0.1);
      break;
    case 3:
      metric(0.01);
      break;
    case 4:
      metric(0.254);
      break;
    case 5:
      metric(0.0254);
      break;
    case 6:
      metric(25.4 / 1440);
      break;
    case 7:
    case 8: {
      const double wx = S.WindowExt.width() ? S.WindowExt.width() : 1;
      const double wy = S.WindowExt.height() ? S.WindowExt.height() : 1;
      sx = S.ViewportExt.width() / wx;
      sy = S.ViewportExt.height() / wy;
      if (S.MapMode == 7) {  // isotropic: one scale, each axis keeps its direction
        const double s = std::min(std::abs(sx), std::abs(sy));
        sx = sx < 0 ? -s : s;
        sy = sy < 0 ? -s : s;
      }
      break;
    }
    default:
      break;
  }
  return QTransform::fromTranslate(-S.WindowOrg.x(), -S.WindowOrg.y()) * QTransform::fromScale(sx, sy) *
         QTransform::fromTranslate(S.ViewportOrg.x(), S.ViewportOrg.y());
}

void TPlayer::Prepare(bool Fill) {
  P.setTransform(QTransform());
  if (S.Clip)
    P.setClipRegion(*S.Clip);
  else
    P.setClipping(false);
  const QTransform total = Total();
  P.setTransform(total);
  // A pen wider than the device is stroked at a width that still covers it:
  // the outlines of wider pens on damaged pages take seconds and gigabytes.
  QPen pen = S.Pen;
  if (pen.style() != Qt::NoPen && pen.widthF() > 0) {
    const double scale = std::max(std::hypot(total.m11(), total.m12()), std::hypot(total.m21(), total.m22()));
    const QRectF reach = Reach();
    const double limit = 2 * std::hypot(reach.width(), reach.height());
    if (!(pen.widthF() * scale <= limit)) pen.setWidthF(scale > 0 && std::isfinite(scale) ? limit / scale : 0);
  }
  P.setPen(pen);
  P.setBrush(Fill ? S.Brush : QBrush(Qt::NoBrush));
}

bool TPlayer::ReadPoints(const TRecord& R, uint32_t CountOff, bool Short, QPolygonF& Out) const {
  const uint64_t count = R.U32(CountOff);
  const uint64_t each = Short ? 4 : 8;
  if (!R.Has(CountOff + 4, count * each)) return false;
  Out.clear();
  Out.reserve(qsizetype(count));
  for (uint64_t i = 0; i < count; ++i) {
    const uint32_t off = uint32_t(CountOff + 4 + i * each);
    Out << (Short ? QPointF(R.I16(off), R.I16(off + 2)) : Pt32(R, off));
  }
  return true;
}

bool TPlayer::ReadPolyPoints(const TRecord& R, bool Short, std::vector<QPolygonF>& Out) const {
  const uint64_t polys = R.U32(24);
  const uint64_t total = R.U32(28);
  const uint64_t each = Short ? 4 : 8;
  if (!R.Has(32, polys * 4)) return false;
  const uint64_t pointsOff = 32 + polys * 4;
  if (!R.Has(pointsOff, total * each)) return false;
  uint64_t used = 0;
  Out.clear();
  for (uint64_t k = 0; k < polys; ++k) {
    const uint64_t n = R.U32(uint32_t(32 + k * 4));
    if (n > total - used) return false;
    QPolygonF poly;
    poly.reserve(qsizetype(n));
    for (uint64_t i = 0; i < n; ++i) {
      const uint32_t off = uint32_t(pointsOff + (used + i) * each);
      poly << (Short ? QPointF(R.I16(off), R.I16(off + 2)) : Pt32(R, off));
    }
    used += n;
    Out.push_back(std::move(poly));
  }
  return true;
}

bool TPlayer::Store(uint32_t Index, TGdiObject Object) {
  if (Index == 0 || Index >= FHandles.size()) return false;
  FHandles[Index] = std::move(Object);
  return true;
}

void TPlayer::Select(uint32_t Index) {
  std::optional<TGdiObject> object;
  if (Index & 0x80000000u)
    object = StockObject(Index & 0x7FFFFFFFu);
  else if (Index < FHandles.size())
    object = FHandles[Index];
  if (!object) return;
  switch (object->Kind) {
    case TGdiObject::kPen:
      S.Pen = object->Pen;
      break;
    case TGdiObject::kBrush:
      S.Brush = object->Brush;
      break;
    case TGdiObject::kFont:
      S.Font = object->Font;
      S.FontHeight = object->FontHeight;
      S.FontEscapement = object->FontEscapement;
      break;
  }
}

void TPlayer::DrawPath(const QPainterPath& Path, bool Fill, bool Stroke) {
  QPainterPath path = Path;
  path.setFillRule(S.FillRule);
  Prepare(Fill);
  if (!Stroke) P.setPen(Qt::NoPen);
  P.drawPath(path);
}

// The device with a margin: nothing outside it can be drawn, so figures are
// cut to it before they become pixels.
QRectF TPlayer::Reach() const {
  const QPaintDevice* device = P.device();
  const double w = device ? device->width() : 0, h = device ? device->height() : 0;
  return QRectF(-16, -16, w + 32, h + 32);
}

// One polygon cut to a rectangle, edge by edge; points that are not numbers
// are dropped.
QPolygonF CutToRect(const QPolygonF& Poly, const QRectF& Box) {
  QPolygonF out;
  for (const QPointF& pt : Poly)
    if (std::isfinite(pt.x()) && std::isfinite(pt.y())) out << pt;
  for (int edge = 0; edge < 4 && !out.isEmpty(); ++edge) {
    auto inside = [&](const QPointF& Pt) {
      switch (edge) {
        case 0:
          return Pt.x() >= Box.left();
        case 1:
          return Pt.x() <= Box.right();
        case 2:
          return Pt.y() >= Box.top();
        default:
          return Pt.y() <= Box.bottom();
      }
    };
    auto cross = [&](const QPointF& A, const QPointF& B) {
      const double limit = edge == 0 ? Box.left() : edge == 1 ? Box.right() : edge == 2 ? Box.top() : Box.bottom();
      if (edge < 2) {
        const double t = (limit - A.x()) / (B.x() - A.x());
        return QPointF(limit, A.y() + t * (B.y() - A.y()));
      }
      const double t = (limit - A.y()) / (B.y() - A.y());
      return QPointF(A.x() + t * (B.x() - A.x()), limit);
    };
    const QPolygonF in = out;
    out.clear();
    for (qsizetype i = 0; i < in.size(); ++i) {
      const QPointF& cur = in[i];
      const QPointF& prev = in[(i + in.size() - 1) % in.size()];
      if (inside(cur)) {
        if (!inside(prev)) out << cross(prev, cur);
        out << cur;
      } else if (inside(prev)) {
        out << cross(prev, cur);
      }
    }
  }
  return out;
}

QRegion TPlayer::RegionOf(const QPainterPath& Path, Qt::FillRule Rule) const {
  const QRectF box = Reach();
  QRegion region;
  for (const QPolygonF& poly : Path.toSubpathPolygons()) {
    const QPolygonF cut = CutToRect(poly, box);
    if (cut.size() < 3) continue;
    const QRegion part(cut.toPolygon(), Rule);
    region = Rule == Qt::OddEvenFill ? region.xored(part) : region.united(part);
  }
  return region;
}

void TPlayer::CombineClip(const QRegion& Area, uint32_t Mode) {
  const QRegion current = S.Clip ? *S.Clip : QRegion(Reach().toAlignedRect());
  switch (Mode) {
    case 1:
      S.Clip = current.intersected(Area);
      break;
    case 2:
      if (S.Clip) S.Clip = current.united(Area);
      break;
    case 3:
      S.Clip = current.xored(Area);
      break;
    case 4:
      S.Clip = current.subtracted(Area);
      break;
    case 5:
      S.Clip = Area;
      break;
    default:
      break;
  }
}

bool TPlayer::PlayArc(uint32_t Type, const TRecord& R) {
  if (!R.Has(8, 32)) return false;
  const QRectF box = Rect32(R, 8);
  if (box.width() <= 0 || box.height() <= 0) return true;
  const QPointF c = box.center();
  // Angles of the radials through the start and end points, scaled to the
  // box so an ellipse's points land where a circle's would.
  auto angle = [&](const QPointF& At) {
    return std::atan2(-(At.y() - c.y()) / box.height(), (At.x() - c.x()) / box.width()) * 180.0 / M_PI;
  };
  const double a0 = angle(Pt32(R, 24));
  double span = angle(Pt32(R, 32)) - a0;
  if (S.Clockwise) {
    if (span >= 0) span -= 360;
  } else if (span <= 0) {
    span += 360;
  }
  QPainterPath figure;
  if (Type == EMR_PIE) {
    figure.moveTo(c);
    figure.arcTo(box, a0, span);
  } else {
    figure.arcMoveTo(box, a0);
    figure.arcTo(box, a0, span);
  }
  if (Type != EMR_ARC) figure.closeSubpath();
  if (FPathOpen)
    FPath->addPath(figure);
  else
    DrawPath(figure, Type != EMR_ARC, true);
  return true;
}

bool TPlayer::PlayText(const TRecord& R, bool Wide) {
  if (!R.Has(0, 56)) return false;
  const uint64_t chars = R.U32(44);
  const uint32_t offString = R.U32(48);
  const uint32_t options = R.U32(52);
  // Text written without a bounding rectangle (ETO_NO_RECT) leaves it out.
  if (!R.Has(0, (options & 0x100) ? 60 : 76)) return false;
  if (!R.Has(offString, chars * (Wide ? 2 : 1))) return false;
  QString text(qsizetype(chars), Qt::Uninitialized);
  for (uint64_t i = 0; i < chars; ++i)
    text[qsizetype(i)] = Wide ? QChar(R.U16(uint32_t(offString + i * 2))) : QChar(R.U8(uint32_t(offString + i)));

  QPointF ref = (S.TextAlign & 1) ? S.Current : Pt32(R, 36);
  const QTransform t = Total();
  if ((options & 0x2) && !(options & 0x100)) {  // ETO_OPAQUE: the rectangle takes the background colour
    Prepare(false);
    P.fillRect(Rect32(R, 56), S.BkColor);
  }
  if (text.isEmpty()) return true;

  // Text is set upright in its own space, scaled by the page's scale, so
  // mapping modes that count upwards do not mirror it.
  const double scaleX = std::hypot(t.m11(), t.m12());
  const double scaleY = std::hypot(t.m21(), t.m22());
  if (scaleX <= 0 || scaleY <= 0) return true;
  QFont font = S.Font;
  const double height = S.FontHeight == 0 ? 16 : std::abs(S.FontHeight);
  font.setPixelSize(std::clamp(int(std::lround(height)), 1, 100000));
  const QFontMetricsF fm(font);
  const double width = fm.horizontalAdvance(text);
  double x = 0, y = 0;
  if ((S.TextAlign & 6) == 6)
    x = -width / 2;
  else if (S.TextAlign & 2)
    x = -width;
  if ((S.TextAlign & 24) == 24)
    y = 0;
  else if (S.TextAlign & 8)
    y = -fm.descent();
  else
    y = fm.ascent();

  Prepare(false);
  QTransform textSpace = QTransform::fromScale(scaleX, scaleY);
  if (S.FontEscapement != 0) textSpace = QTransform().rotate(-S.FontEscapement / 10.0) * textSpace;
  const QPointF at = t.map(ref);
  P.setTransform(textSpace * QTransform::fromTranslate(at.x(), at.y()));
  P.setFont(font);
  if (S.BkOpaque) P.fillRect(QRectF(x, y - fm.ascent(), width, fm.height()), S.BkColor);
  const double deviceSize = font.pixelSize() * std::max(scaleX, scaleY);
  const double aspect = scaleX / scaleY;
  if (deviceSize <= kMaxGlyphPixels && aspect >= 1.0 / 64 && aspect <= 64) {
    P.setPen(S.TextColor);
    P.drawText(QPointF(x, y), text);
  } else {
    // Glyphs this large or this distorted are beyond the font engine's glyph
    // cache; their outlines are filled instead.
    QPainterPath outline;
    outline.addText(QPointF(x, y), font, text);
    P.fillPath(outline, S.TextColor);
  }
  // The font's size is in logical units, so is the advance.
  if (S.TextAlign & 1) S.Current = ref + QPointF(width, 0);
  return true;
}

// Run-length coded pixels (8 or 4 bits each) into Image, counted from its
// lower edge. Pixels the codes skip keep the first colour; codes that reach
// beyond the bitmap or its data end the picture there.
void DecodeRle(const uchar* Bits, uint64_t Size, int Bpp, const std::vector<QRgb>& Colors, QImage& Image) {
  const int64_t w = Image.width(), h = Image.height();
  Image.fill(Colors.empty() ? qRgb(0, 0, 0) : Colors[0]);
  int64_t x = 0, y = 0;
  auto pixel = [&](int Index) {
    if (x < w && y < h)
      reinterpret_cast<QRgb*>(Image.scanLine(int(h - 1 - y)))[x] =
          size_t(Index) < Colors.size() ? Colors[size_t(Index)] : qRgb(0, 0, 0);
    ++x;
  };
  auto nibble = [&](const uchar* From, int64_t K) {
    return Bpp == 8 ? int(From[K]) : (K % 2 == 0 ? From[K / 2] >> 4 : From[K / 2] & 0x0F);
  };
  uint64_t i = 0;
  while (i + 2 <= Size && y < h) {
    const int count = Bits[i], value = Bits[i + 1];
    i += 2;
    if (count > 0) {
      // A run beyond the right edge is cut there, so a damaged run costs
      // no more than the row it lands in.
      const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, w - x));
      // A run of 4-bit pixels alternates the two halves of its byte.
      for (int64_t k = 0; k < n; ++k) pixel(Bpp == 8 ? value : (k % 2 == 0 ? value >> 4 : value & 0x0F));
      x += count - n;
    } else if (value == 0) {  // end of the row
      x = 0;
      ++y;
    } else if (value == 1) {  // end of the bitmap
      break;
    } else if (value == 2) {  // move right and up
      if (i + 2 > Size) break;
      x += Bits[i];
      y += Bits[i + 1];
      i += 2;
    } else {  // that many pixels stored as they are, padded to a word
      const uint64_t bytes = Bpp == 8 ? uint64_t(value) : (uint64_t(value) + 1) / 2;
      if (i + bytes > Size) break;
      const int64_t n = std::min<int64_t>(value, std::max<int64_t>(0, w - x));
      for (int64_t k = 0; k < n; ++k) pixel(nibble(Bits + i, k));
      x += value - n;
      i += (bytes + 1) & ~uint64_t(1);
    }
  }
}

// A device-independent bitmap whose header and bits lie at the given places
// of the record; none when any part is missing or of a kind not known.
std::optional<QImage> DecodeDib(const TRecord& R, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                                bool* BottomUp = nullptr) {
  if (cbBmi < 40 || !R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return std::nullopt;
  const TRecord bmi(R.At(offBmi), cbBmi);
  const uint32_t hdrSize = bmi.U32(0);
  const int64_t w = bmi.I32(4);
  const int64_t hRaw = bmi.I32(8);
  const int bpp = bmi.U16(14);
  const uint32_t compression = bmi.U32(16);
  const uint32_t clrUsed = bmi.U32(32);
  if (hdrSize < 40 || hdrSize > cbBmi || w <= 0 || hRaw == 0 || hRaw == INT32_MIN) return std::nullopt;
  const int64_t h = std::abs(hRaw);
  if (w * h > kMaxBitmapPixels) return std::nullopt;
  if (compression == 4 || compression == 5) {  // the bits are a whole JPEG or PNG file
    const QImage image = QImage::fromData(R.At(offBits), int(cbBits), compression == 4 ? "JPEG" : "PNG");
    if (image.isNull() || qint64(image.width()) * image.height() > kMaxBitmapPixels) return std::nullopt;
    if (BottomUp) *BottomUp = hRaw > 0;
    return image.convertToFormat(QImage::Format_RGB32);
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  // Run-length coded bitmaps are stored bottom-up only.
  const bool rle = hRaw > 0 && ((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4));
  if (compression != 0 && !rle && !(compression == 3 && (bpp == 16 || bpp == 32))) return std::nullopt;
  const int64_t stride = ((w * bpp + 31) / 32) * 4;
  if (!rle && uint64_t(stride * h) > cbBits) return std::nullopt;

  std::vector<QRgb> colors;
  uint32_t maskOff = hdrSize;
  uint32_t greenMask = 0x03E0;
  if (compression == 3) {
    if (hdrSize == 40) {  // the three masks follow a short header
      if (!bmi.Has(40, 12)) return std::nullopt;
      greenMask = bmi.U32(44);
      maskOff += 12;
    } else {
      greenMask = bmi.U32(44);
    }
  }
  if (bpp <= 8) {
    uint64_t n = clrUsed ? clrUsed : (1u << bpp);
    n = std::min<uint64_t>(n, 1u << bpp);
    if (!bmi.Has(maskOff, n * 4)) return std::nullopt;
    for (uint64_t i = 0; i < n; ++i) {
      const uint32_t q = bmi.U32(uint32_t(maskOff + i * 4));
      colors.push_back(qRgb(int((q >> 16) & 0xFF), int((q >> 8) & 0xFF), int(q & 0xFF)));
    }
  }

  QImage image(int(w), int(h), QImage::Format_RGB32);
  if (image.isNull()) return std::nullopt;
  const uchar* bits = R.At(offBits);
  if (rle) {
    DecodeRle(bits, cbBits, bpp, colors, image);
    if (BottomUp) *BottomUp = true;
    return image;
  }
  for (int64_t row = 0; row < h; ++row) {
    const uchar* src = bits + (hRaw > 0 ? (h - 1 - row) : row) * stride;
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(int(row)));
    for (int64_t x = 0; x < w; ++x) {
      QRgb c = 0;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          const int64_t bit = x * bpp;
          const int idx = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
          c = size_t(idx) < colors.size() ? colors[size_t(idx)] : qRgb(0, 0, 0);
          break;
        }
        case 16: {
          const int v = src[x * 2] | src[x * 2 + 1] << 8;
          if (greenMask == 0x07E0)
            c = qRgb(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31);
          else
            c = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
          break;
        }
        case 24:
          c = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
          break;
        default:
          c = qRgb(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
          break;
      }
      dst[x] = c;
    }
  }
  if (BottomUp) *BottomUp = hRaw > 0;
  return image;
}

void TPlayer::DrawImage(const QRectF& Dest, const QImage& Image, const QRectF& Source) {
  Prepare(false);
  const QTransform total = Total();
  const QRectF reach = Reach();
  const QRectF mapped = total.mapRect(Dest);
  if (mapped.width() >= 1 && mapped.height() >= 1 && mapped.width() <= 4 * reach.width() &&
      mapped.height() <= 4 * reach.height()) {
    P.drawImage(Dest, Image, Source);
    return;
  }
  // Scaled far beyond the device, or mirrored into less than a pixel, an
  // image takes the painter seconds to draw; as a brush only its visible
  // part is filled.
  if (Source.width() == 0 || Source.height() == 0 || Dest.width() == 0 || Dest.height() == 0) return;
  const QPolygonF area = CutToRect(total.map(QPolygonF(Dest)), reach);
  if (area.size() < 3) return;
  QBrush brush(Image);
  brush.setTransform(QTransform::fromTranslate(-Source.x(), -Source.y()) *
                     QTransform::fromScale(Dest.width() / Source.width(), Dest.height() / Source.height()) *
                     QTransform::fromTranslate(Dest.x(), Dest.y()) * total);
  P.setTransform(QTransform());
  P.setPen(Qt::NoPen);
  P.setBrush(brush);
  P.drawPolygon(area);
}

bool TPlayer::PlayDib(const TRecord& R) {
  if (!R.Has(0, 80)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(72), R.I32(76));
  const int32_t xSrc = R.I32(32), ySrc = R.I32(36), cxSrc = R.I32(40), cySrc = R.I32(44);
  bool bottomUp = false;
  const auto image = DecodeDib(R, R.U32(48), R.U32(52), R.U32(56), R.U32(60), &bottomUp);
  if (!image) return false;
  // Source rows of a bottom-up bitmap are counted from its lower edge.
  const double srcTop = bottomUp ? double(image->height()) - ySrc - cySrc : double(ySrc);
  DrawImage(dest, *image, QRectF(xSrc, srcTop, cxSrc, cySrc));
  return true;
}

// A block transfer: a bitmap copied (and stretched), or without a bitmap the
// destination filled by the raster operation alone.
bool TPlayer::PlayBlt(uint32_t Type, const TRecord& R) {
  const bool stretch = Type == EMR_STRETCHBLT;
  if (!R.Has(0, stretch ? 108 : 100)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(32), R.I32(36));
  const uint32_t rop = R.U32(40);
  const uint32_t cbBmi = R.U32(88);
  Prepare(false);
  if (cbBmi == 0) {
    switch (rop) {
      case 0x00000042:  // black
        P.fillRect(dest, Qt::black);
        break;
      case 0x00FF0062:  // white
        P.fillRect(dest, Qt::white);
        break;
      case 0x00F00021:  // the brush
        if (S.Brush.style() != Qt::NoBrush) P.fillRect(dest, S.Brush);
        break;
      default:
        break;
    }
    return true;
  }
  const auto image = DecodeDib(R, R.U32(84), cbBmi, R.U32(92), R.U32(96));
  if (!image) return false;
  const double cx = stretch ? R.I32(100) : dest.width();
  const double cy = stretch ? R.I32(104) : dest.height();
  DrawImage(dest, *image, QRectF(R.I32(44), R.I32(48), cx, cy));
  return true;
}

bool TPlayer::Play(uint32_t Type, const TRecord& R) {
  switch (Type) {
    case EMR_HEADER:
    case EMR_EOF:
      return true;
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16: {
      const bool isShort = Type >= EMR_POLYBEZIER16;
      QPolygonF pts;
      if (!ReadPoints(R, 24, isShort, pts)) return false;
      const bool fromCurrent =
          Type == EMR_POLYLINETO || Type == EMR_POLYLINETO16 || Type == EMR_POLYBEZIERTO || Type == EMR_POLYBEZIERTO16;
      const bool bezier =
          Type == EMR_POLYBEZIER || Type == EMR_POLYBEZIER16 || Type == EMR_POLYBEZIERTO || Type == EMR_POLYBEZIERTO16;
      if (fromCurrent) pts.prepend(S.Current);
      if (pts.isEmpty()) return true;
      const bool polygon = Type == EMR_POLYGON || Type == EMR_POLYGON16;
      QPainterPath figure(pts.front());
      if (bezier)
        for (qsizetype i = 1; i + 2 < pts.size(); i += 3) figure.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
      else
        for (qsizetype i = 1; i < pts.size(); ++i) figure.lineTo(pts[i]);
      if (polygon) figure.closeSubpath();
      if (FPathOpen) {
        if (fromCurrent && FPath->elementCount() > 0)
          FPath->connectPath(figure);
        else
          FPath->addPath(figure);
      } else {
        DrawPath(figure, polygon, true);
      }
      if (fromCurrent) S.Current = pts.back();
      return true;
    }
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
      std::vector<QPolygonF> polys;
      if (!ReadPolyPoints(R, Type >= EMR_POLYPOLYLINE16, polys)) return false;
      if (Type == EMR_POLYPOLYGON || Type == EMR_POLYPOLYGON16) {
        QPainterPath path;
        path.setFillRule(S.FillRule);
        for (const auto& poly : polys) {
          if (poly.isEmpty()) continue;
          path.addPolygon(poly);
          path.closeSubpath();
        }
        if (FPathOpen)
          FPath->addPath(path);
        else
          DrawPath(path, true, true);
      } else {
        QPainterPath path;
        for (const auto& poly : polys) path.addPolygon(poly);
        if (FPathOpen)
          FPath->addPath(path);
        else
          DrawPath(path, false, true);
      }
      return true;
    }
    case EMR_SETWINDOWEXTEX:
      if (!R.Has(8, 8)) return false;
      S.WindowExt = QSizeF(R.I32(8), R.I32(12));
      return true;
    case EMR_SETWINDOWORGEX:
      if (!R.Has(8, 8)) return false;
      S.WindowOrg = Pt32(R, 8);
      return true;
    case EMR_SETVIEWPORTEXTEX:
      if (!R.Has(8, 8)) return false;
      S.ViewportExt = QSizeF(R.I32(8), R.I32(12));
      return true;
    case EMR_SETVIEWPORTORGEX:
      if (!R.Has(8, 8)) return false;
      S.ViewportOrg = Pt32(R, 8);
      return true;
    case EMR_SETMAPMODE:
      if (!R.Has(8, 4)) return false;
      if (R.U32(8) >= 1 && R.U32(8) <= 8) S.MapMode = int(R.U32(8));
      return true;
    case EMR_SETBKMODE:
      if (!R.Has(8, 4)) return false;
      S.BkOpaque = R.U32(8) == 2;
      return true;
    case EMR_SETPOLYFILLMODE:
      if (!R.Has(8, 4)) return false;
      S.FillRule = R.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
      return true;
    case EMR_SETTEXTALIGN:
      if (!R.Has(8, 4)) return false;
      S.TextAlign = R.U32(8);
      return true;
    case EMR_SETTEXTCOLOR:
      if (!R.Has(8, 4)) return false;
      S.TextColor = ColorOf(R.U32(8));
      return true;
    case EMR_SETBKCOLOR:
      if (!R.Has(8, 4)) return false;
      S.BkColor = ColorOf(R.U32(8));
      return true;
    case EMR_MOVETOEX:
      if (!R.Has(8, 8)) return false;
      S.Current = Pt32(R, 8);
      if (FPathOpen) FPath->moveTo(S.Current);
      return true;
    case EMR_LINETO: {
      if (!R.Has(8, 8)) return false;
      const QPointF to = Pt32(R, 8);
      if (FPathOpen) {
        PathMoveIfEmpty();
        FPath->lineTo(to);
      } else {
        Prepare(false);
        P.drawLine(S.Current, to);
      }
      S.Current = to;
      return true;
    }
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT: {
      if (!R.Has(8, 16)) return false;
      QPainterPath rect;
      rect.addPolygon(QPolygonF(Rect32(R, 8)));
      CombineClip(RegionOf(Total().map(rect), Qt::OddEvenFill), Type == EMR_INTERSECTCLIPRECT ? 1 : 4);
      return true;
    }
    case EMR_EXTSELECTCLIPRGN: {
      if (!R.Has(8, 8)) return false;
      const uint32_t cbData = R.U32(8);
      const uint32_t mode = R.U32(12);
      if (cbData == 0) {
        if (mode == 5) S.Clip.reset();  // copying no region: no clipping
        return true;
      }
      // Header of 32 bytes, then rectangles in device units.
      if (!R.Has(16, cbData) || cbData < 32) return false;
      const uint64_t count = R.U32(24);
      if (!R.Has(48, count * 16) || 32 + count * 16 > cbData) return false;
      // The rectangles are united pairwise, so a long list costs no more
      // than sorting it would.
      const QRectF box = Reach();
      std::vector<QRegion> parts;
      parts.reserve(size_t(count));
      for (uint64_t i = 0; i < count; ++i) {
        const QRectF r = FToDest.mapRect(Rect32(R, uint32_t(48 + i * 16))).intersected(box);
        if (r.isValid()) parts.emplace_back(r.toAlignedRect());
      }
      while (parts.size() > 1) {
        std::vector<QRegion> next;
        next.reserve(parts.size() / 2 + 1);
        for (size_t i = 0; i < parts.size(); i += 2)
          next.push_back(i + 1 < parts.size() ? parts[i].united(parts[i + 1]) : parts[i]);
        parts.swap(next);
      }
      CombineClip(parts.empty() ? QRegion() : parts.front(), mode);
      return true;
    }
    case EMR_SELECTCLIPPATH:
      if (!R.Has(8, 4)) return false;
      if (FPath) {
        CombineClip(RegionOf(Total().map(*FPath), S.FillRule), R.U32(8));
      }
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_BEGINPATH:
      FPath = QPainterPath();
      FPathOpen = true;
      return true;
    case EMR_ENDPATH:
      FPathOpen = false;
      return true;
    case EMR_ABORTPATH:
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_CLOSEFIGURE:
      if (FPath) FPath->closeSubpath();
      return true;
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
      if (FPath) DrawPath(*FPath, Type != EMR_STROKEPATH, Type != EMR_FILLPATH);
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_SETARCDIRECTION:
      if (!R.Has(8, 4)) return false;
      S.Clockwise = R.U32(8) == 2;
      return true;
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
      return PlayArc(Type, R);
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
      return PlayBlt(Type, R);
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      if (!R.Has(8, 24)) return false;
      const auto image = DecodeDib(R, R.U32(16), R.U32(20), R.U32(24), R.U32(28));
      if (!image) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kBrush;
      o.Brush = QBrush(*image);
      return Store(R.U32(8), o);
    }
    case EMR_SAVEDC:
      if (FSaved.size() < size_t(kMaxSavedStates)) FSaved.push_back(S);
      return true;
    case EMR_RESTOREDC: {
      if (!R.Has(8, 4)) return false;
      const int32_t n = R.I32(8);
      // Negative: that many states back; positive: the n-th state saved.
      int64_t keep = n < 0 ? int64_t(FSaved.size()) + n : int64_t(n) - 1;
      if (keep < 0 || keep >= int64_t(FSaved.size())) return true;
      S = FSaved[size_t(keep)];
      FSaved.resize(size_t(keep));
      return true;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      if (!R.Has(8, Type == EMR_SETWORLDTRANSFORM ? 24 : 28)) return false;
      const QTransform x(R.F32(8), R.F32(12), R.F32(16), R.F32(20), R.F32(24), R.F32(28));
      if (Type == EMR_SETWORLDTRANSFORM) {
        S.World = x;
        return true;
      }
      switch (R.U32(32)) {
        case 1:
          S.World = QTransform();
          break;
        case 2:
          S.World = x * S.World;
          break;
        case 3:
          S.World = S.World * x;
          break;
        case 4:
          S.World = x;
          break;
        default:
          break;
      }
      return true;
    }
    case EMR_SELECTOBJECT:
      if (!R.Has(8, 4)) return false;
      Select(R.U32(8));
      return true;
    case EMR_DELETEOBJECT:
      if (!R.Has(8, 4)) return false;
      if (R.U32(8) < FHandles.size()) FHandles[R.U32(8)].reset();
      return true;
    case EMR_CREATEPEN: {
      if (!R.Has(8, 20)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kPen;
      const Qt::PenStyle style = PenStyleOf(R.U32(12));
      o.Pen = style == Qt::NoPen ? QPen(Qt::NoPen) : QPen(ColorOf(R.U32(24)), std::max(0, R.I32(16)));
      if (style != Qt::NoPen) o.Pen.setStyle(style);
      return Store(R.U32(8), o);
    }
    case EMR_EXTCREATEPEN: {
      if (!R.Has(8, 44)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kPen;
      const Qt::PenStyle style = PenStyleOf(R.U32(28));
      const bool nullBrush = R.U32(36) == 1;
      o.Pen = style == Qt::NoPen || nullBrush ? QPen(Qt::NoPen) : QPen(ColorOf(R.U32(40)), std::max(0, R.I32(32)));
      if (o.Pen.style() != Qt::NoPen) o.Pen.setStyle(style);
      return Store(R.U32(8), o);
    }
    case EMR_CREATEBRUSHINDIRECT: {
      if (!R.Has(8, 16)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kBrush;
      o.Brush = BrushOf(R.U32(12), R.U32(16), R.U32(20));
      return Store(R.U32(8), o);
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      if (!R.Has(8, 4 + 92)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kFont;
      const uint32_t lf = 12;
      o.FontHeight = R.I32(lf);
      o.FontEscapement = R.I32(lf + 8);
      QString face;
      for (uint32_t i = 0; i < 32; ++i) {
        const uint16_t c = R.U16(lf + 28 + i * 2);
        if (!c) break;
        face += QChar(c);
      }
      o.Font = QFont(face.isEmpty() ? QStringLiteral("Sans Serif") : face);
      const int32_t weight = R.I32(lf + 16);
      if (weight > 0) o.Font.setWeight(QFont::Weight(std::clamp(weight, 1, 1000)));
      o.Font.setItalic(R.U8(lf + 20) != 0);
      o.Font.setUnderline(R.U8(lf + 21) != 0);
      o.Font.setStrikeOut(R.U8(lf + 22) != 0);
      return Store(R.U32(8), o);
    }
    case EMR_ELLIPSE:
    case EMR_RECTANGLE:
    case EMR_ROUNDRECT: {
      if (!R.Has(8, Type == EMR_ROUNDRECT ? 24 : 16)) return false;
      const QRectF rect = Rect32(R, 8);
      QPainterPath figure;
      if (Type == EMR_ELLIPSE)
        figure.addEllipse(rect);
      else if (Type == EMR_RECTANGLE)
        figure.addRect(rect);
      else
        figure.addRoundedRect(rect, R.I32(24) / 2.0, R.I32(28) / 2.0);
      if (FPathOpen)
        FPath->addPath(figure);
      else
        DrawPath(figure, true, true);
      return true;
    }
    case EMR_EXTTEXTOUTW:
      return PlayText(R, true);
    case EMR_EXTTEXTOUTA:
      return PlayText(R, false);
    case EMR_STRETCHDIBITS:
      return PlayDib(R);
    default:
      return true;  // not drawn by this player
  }
}

}  // namespace

bool TEmfPicture::LoadFromFile(const QString& Path, QString* Error) {
  Clear();
  // Opening a pipe waits for a writer and a device may never end, so only
  // plain files are read.
  if (QFileInfo(Path).exists() && !QFileInfo(Path).isFile()) {
    if (Error) *Error = QStringLiteral("The file is no plain file.");
    return false;
  }
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (Error) *Error = QStringLiteral("The file cannot be opened: %1").arg(file.errorString());
    return false;
  }
  if (file.size() > kMaxFileSize) {
    if (Error) *Error = QStringLiteral("The file is too large for a page.");
    return false;
  }
  return LoadFromBytes(file.readAll(), Error);
}

bool TEmfPicture::LoadFromBytes(const QByteArray& Data, QString* Error) {
  Clear();
  auto fail = [&](const QString& Text) {
    if (Error) *Error = Text;
    return false;
  };
  if (Data.size() > kMaxFileSize) return fail(QStringLiteral("The file is too large for a page."));
  const auto* bytes = reinterpret_cast<const uchar*>(Data.constData());
  const uint32_t length = uint32_t(Data.size());
  const TRecord whole(bytes, length);
  if (length < uint32_t(kHeaderMinSize) || whole.U32(0) != EMR_HEADER || whole.U32(40) != kSignature)
    return fail(QStringLiteral("The file is no enhanced metafile."));
  const uint32_t headerSize = whole.U32(4);
  if (headerSize < uint32_t(kHeaderMinSize) || headerSize % 4 || headerSize > length)
    return fail(QStringLiteral("The metafile's header is damaged."));

  // Walk the record chain to its end record: every size must be whole and
  // inside the file, or the file was cut short or damaged.
  uint32_t offset = 0;
  int records = 0;
  bool ended = false;
  while (offset < length) {
    if (length - offset < 8) break;
    const uint32_t type = whole.U32(offset);
    const uint32_t size = whole.U32(offset + 4);
    if (size < 8 || size % 4 || size > length - offset)
      return fail(QStringLiteral("The metafile is damaged or cut short at byte %1.").arg(offset));
    ++records;
    offset += size;
    if (type == EMR_EOF) {
      ended = true;
      break;
    }
  }
  if (!ended) return fail(QStringLiteral("The metafile is cut short: its end record is missing."));

  const TRecord header(bytes, headerSize);
  FDevicePixels = QSize(header.I32(72), header.I32(76));
  FDeviceMillimeters = QSize(header.I32(80), header.I32(84));
  FHandleCount = header.U16(56);
  // The frame is kept in hundredths of a millimetre; the reference device
  // turns it into its own units.
  const QRectF frameMm = QRectF(QPointF(header.I32(24), header.I32(28)), QPointF(header.I32(32), header.I32(36)));
  if (FDevicePixels.width() > 0 && FDevicePixels.height() > 0 && FDeviceMillimeters.width() > 0 &&
      FDeviceMillimeters.height() > 0 && frameMm.width() > 0 && frameMm.height() > 0) {
    const double fx = double(FDevicePixels.width()) / (FDeviceMillimeters.width() * 100.0);
    const double fy = double(FDevicePixels.height()) / (FDeviceMillimeters.height() * 100.0);
    FFrame = QRectF(frameMm.left() * fx, frameMm.top() * fy, frameMm.width() * fx, frameMm.height() * fy);
  } else {
    const QRectF bounds(QPointF(header.I32(8), header.I32(12)), QPointF(header.I32(16), header.I32(20)));
    if (bounds.width() > 0 && bounds.height() > 0)
      FFrame = bounds;
    else
      return fail(QStringLiteral("The metafile's header gives the page no size."));
  }
  FRecordCount = records;
  FData = Data.left(offset);
  return true;
}

void TEmfPicture::Clear() {
  FData.clear();
  FFrame = QRectF();
  FDevicePixels = FDeviceMillimeters = QSize();
  FHandleCount = 0;
  FRecordCount = 0;
}

int TEmfPicture::Draw(QPainter& Painter, const QRectF& Dest) const {
  if (Empty() || FFrame.width() <= 0 || FFrame.height() <= 0) return 0;
  const QTransform toDest = QTransform::fromTranslate(-FFrame.left(), -FFrame.top()) *
                            QTransform::fromScale(Dest.width() / FFrame.width(), Dest.height() / FFrame.height()) *
                            QTransform::fromTranslate(Dest.left(), Dest.top());
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.setBackgroundMode(Qt::TransparentMode);
  TPlayer player(Painter, toDest, FDevicePixels, FDeviceMillimeters, FHandleCount);
  const auto* bytes = reinterpret_cast<const uchar*>(FData.constData());
  const uint32_t length = uint32_t(FData.size());
  const TRecord whole(bytes, length);
  int skipped = 0;
  uint32_t offset = 0;
  // The chain was checked on loading; the checks stay so a change there
  // cannot make this loop read outside the data.
  while (length - offset >= 8) {
    const uint32_t type = whole.U32(offset);
    const uint32_t size = whole.U32(offset + 4);
    if (size < 8 || size > length - offset) break;
    if (!player.Play(type, TRecord(bytes + offset, size))) ++skipped;
    offset += size;
    if (type == EMR_EOF) break;
  }
  Painter.restore();
  return skipped;
}
