#pragma once

// The player's drawing state and its record handlers, shared by the files
// that each play one kind of record.

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRawFont>
#include <QRegion>
#include <QStringDecoder>
#include <QTransform>
#include <array>
#include <list>
#include <optional>
#include <span>
#include <vector>

#include "EmfRecord.h"

namespace emfplay {

struct TGdiObject {
  enum TKind { kPen, kBrush, kFont, kPalette } Kind = kPen;
  QPen Pen;
  QBrush Brush;
  // The colour of a pen or brush as given: one of the selected palette's
  // entries is looked up when the object is drawn, not when made.
  uint32_t ColorRef = 0;
  // A monochrome pattern (indexes 0 and 1) drawn in the text and background
  // colours of the moment.
  std::optional<QImage> MonoPattern;
  std::vector<QRgb> Palette;  // a logical palette's entries
  QFont Font;
  double FontHeight = 0;       // logical units; negative: character height, positive: cell height
  double FontEscapement = 0;   // tenths of a degree, counter-clockwise
  double FontWidth = 0;        // logical units, the characters' average; 0: the font's own
  double FontOrientation = 0;  // tenths of a degree: the characters' own turn
  uint8_t FontCharset = 0;     // how the font's one-byte characters are read
  bool InsideFrame = false;    // a pen that keeps within the frames it outlines
};

struct TDrawState {
  int MapMode = 1;  // MM_TEXT
  QPointF WindowOrg, ViewportOrg;
  QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
  QTransform World;
  QPen Pen{QColor(Qt::black), 0};
  Qt::BrushStyle PenBrushStyle = Qt::SolidPattern;  // hatches or a bitmap strokes of a geometric pen
  bool PenInsideFrame = false;
  QBrush Brush{Qt::white};
  QFont Font;
  double FontHeight = 0;
  double FontEscapement = 0;
  double FontWidth = 0;
  double FontOrientation = 0;
  uint8_t FontCharset = 0;
  // Colours as given, and as drawn: palette entries looked up.
  uint32_t PenColorRef = 0, BrushColorRef = 0xFFFFFF, TextColorRef = 0, BkColorRef = 0xFFFFFF;
  std::optional<QImage> BrushMonoPattern;
  uint32_t Palette = 0;  // the selected logical palette's handle; 0: the default palette
  QColor TextColor{Qt::black};
  QColor BkColor{Qt::white};
  bool BkOpaque = true;
  uint32_t TextAlign = 0;
  Qt::FillRule FillRule = Qt::OddEvenFill;
  QPointF Current;
  bool Clockwise = false;  // direction of arcs
  uint32_t Rop2 = 13;      // how pens and brushes combine with the page: copied
  double MiterLimit = 10;  // mitred joins longer than this many pen widths are bevelled
  int StretchMode = 1;     // how a shrunk bitmap's dropped pixels count: BLACKONWHITE
  // In device pixels. A region rather than a path: the path operations lose
  // their way on the extreme coordinates of damaged pages and crash.
  std::optional<QRegion> Clip;
};

// The objects every drawing state can select without creating them.
std::optional<TGdiObject> StockObject(uint32_t Index);
// One polygon cut to a rectangle, edge by edge; points that are not numbers
// are dropped.
QPolygonF CutToRect(const QPolygonF& Poly, const QRectF& Box);
// The parts of an open line inside a rectangle, each a line of its own.
std::vector<QPolygonF> CutLineToRect(const QPolygonF& Line, const QRectF& Box);
// Figures reaching this many times beyond the device are cut to it first.
constexpr double kFarBeyond = 8;
// A device-independent bitmap whose header and bits lie at the given places
// of the record; none when any part is missing or of a kind not known.
struct TDibColors {
  std::optional<std::pair<QRgb, QRgb>> Two;  // the colours of a monochrome bitmap, whatever it says
  bool Alpha = false;                        // keep the alpha of 32-bit pixels
  // When given, the bitmap's colour table holds 16-bit indexes into these.
  std::optional<std::vector<QRgb>> Palette;
};
std::optional<QImage> DecodeDib(const TRecord& R, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                                bool* BottomUp = nullptr, const TDibColors& Colors = {});

// How much longer a unit becomes in the direction the transform stretches most.
inline double LargestScale(const QTransform& T) {
  return std::max(std::hypot(T.m11(), T.m12()), std::hypot(T.m21(), T.m22()));
}
// A negative width or height of Dest or Source mirrors the bitmap: made
// positive, with Image mirrored instead (the painter would draw a sliver).
void Unmirror(QRectF& Dest, QImage& Image, QRectF& Source);
// Image with the pixels of one colour made transparent.
QImage ClearOf(const QImage& Image, QRgb Clear);

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint32_t kDefaultPalette = 15;  // the stock object
enum : int { kBlackOnWhite = 1, kWhiteOnBlack = 2, kColorOnColor = 3, kHalftone = 4 };
constexpr size_t kMaxPaletteEntries = 1024;
constexpr qint64 kMaxMonoPatternPixels = 256 * 256;
// Whether a raster operation of three operands reads the copied bitmap.
inline bool UsesSource(uint32_t Rop) {
  const uint32_t index = (Rop >> 16) & 0xFF;
  return ((index >> 2) ^ index) & 0x33;
}

class TPlayer;
// Plays one record of its type; false when its contents do not fit it.
using TRecordHandler = bool (*)(TPlayer& Self, uint32_t Type, const TRecord& R);
struct TRecordEntry {
  uint32_t Type;
  TRecordHandler Handler;
};
// A handler that hands the record to a member of the player.
template <bool (TPlayer::*Member)(uint32_t, const TRecord&)>
bool Call(TPlayer& Self, uint32_t Type, const TRecord& R) {
  return (Self.*Member)(Type, R);
}

class TPlayer {
 public:
  TPlayer(QPainter& Painter, const QTransform& ToDest, QSize DevPx, QSize DevMm, int Handles)
      : P(Painter), FToDest(ToDest), FDevPx(DevPx), FDevMm(DevMm), FHandles(size_t(std::max(Handles, 1))) {}

  // Plays one record; false when its contents do not fit it.
  bool Play(uint32_t Type, const TRecord& R);
  // Records played that were not drawn.
  int PassedOver() const { return FPassedOver; }

 private:
  QPainter& P;
  QTransform FToDest;
  QSize FDevPx, FDevMm;
  TDrawState S;
  std::vector<TDrawState> FSaved;
  std::vector<std::optional<TGdiObject>> FHandles;
  // The clip last given to the painter; none when not known.
  std::optional<std::optional<QRegion>> FClipApplied;
  std::list<std::pair<QFont, QRawFont>> FRawFonts;
  int FPassedOver = 0;

  // The records of each family, kept beside the code that plays them. A
  // record of no family is passed over, and counted.
  static std::span<const TRecordEntry> StateRecords();
  static std::span<const TRecordEntry> ShapeRecords();
  static std::span<const TRecordEntry> ObjectRecords();
  static std::span<const TRecordEntry> RegionRecords();
  static std::span<const TRecordEntry> TextRecords();
  static std::span<const TRecordEntry> BitmapRecords();
  static std::span<const TRecordEntry> RasterOpRecords();
  // Records that change nothing drawn here.
  static bool Ignore(TPlayer& Self, uint32_t Type, const TRecord& R) { return true; }
  bool PassOver() {
    ++FPassedOver;
    return true;
  }

  QTransform PageTransform() const;
  QTransform Total() const { return S.World * PageTransform() * FToDest; }
  void Prepare(bool Fill);
  // The selected pen as the device strokes it.
  QPen PenOnDevice() const;
  // A bitmap brush as the painter's transform leaves it in device pixels.
  QBrush OnDevicePixels(QBrush Brush) const;
  QPointF Pt32(const TRecord& R, uint32_t Off) const { return QPointF(R.I32(Off), R.I32(Off + 4)); }
  QRectF Rect32(const TRecord& R, uint32_t Off) const {
    const double l = R.I32(Off), t = R.I32(Off + 4), r = R.I32(Off + 8), b = R.I32(Off + 12);
    return QRectF(QPointF(l, t), QPointF(r, b)).normalized();
  }
  bool ReadPoints(const TRecord& R, uint32_t CountOff, bool Short, QPolygonF& Out) const;
  bool ReadPolyPoints(const TRecord& R, bool Short, std::vector<QPolygonF>& Out) const;
  // Text records: one or several strings, each drawn as one run.
  struct TTextRun {
    QPointF Ref;  // logical units
    QString Text;
    uint32_t Options = 0;
    std::optional<QRectF> Box;
    std::vector<QPointF> At;  // each character's place on the baseline; none: the font's own advances
    bool Advanced = false;    // the world transform turns, mirrors and shears the characters too
  };
  // One-byte text in the selected font's character set; Starts, when
  // given, receives the byte each character begins at.
  QString BytesAsText(const uchar* Bytes, uint64_t Count, std::vector<uint32_t>* Starts) const;
  mutable std::array<std::optional<QStringDecoder>, 256> FDecoders;
  bool PlayText(uint32_t Type, const TRecord& R);
  // The string of R at Base (laid out as in the single-string record);
  // none when it does not fit R.
  std::optional<TTextRun> ReadTextRun(const TRecord& R, uint32_t Base, bool Wide, bool MayOmitBox) const;
  void DrawTextRun(const TTextRun& Run);
  const QRawFont& RawFontOf(const QFont& Font);
  // Combines Area (device pixels) with the clip: 1 intersect, 2 unite,
  // 3 either but not both, 4 take away, 5 replace.
  void CombineClip(const QRegion& Area, uint32_t Mode);
  // The pixels of Path (destination coordinates) within reach of the device.
  QRegion RegionOf(const QPainterPath& Path, Qt::FillRule Rule) const;
  QRectF Reach() const;
  // Regions given by their rectangles in logical units: filled, framed,
  // painted or inverted.
  bool PlayRegion(uint32_t Type, const TRecord& R);
  bool PlayDib(const TRecord& R);
  bool PlaySetDibits(const TRecord& R);
  // Source of Image stretched over Dest (logical coordinates).
  void DrawImage(QRectF Dest, QImage Image, QRectF Source,
                 QPainter::CompositionMode Mode = QPainter::CompositionMode_SourceOver, double Opacity = 1);
  bool PlayBlt(uint32_t Type, const TRecord& R);
  // Raster operations: of pens and brushes with the page, of a copied
  // bitmap, or of the brush alone over Dest. BlitImage is given only
  // operations that read the bitmap; the others go to FillRop.
  bool RasterOpsWork() const;
  void ApplyRop2(QPen& Pen, QBrush& Brush);
  void BlitImage(QRectF Dest, QImage Image, QRectF Source, uint32_t Rop);
  // A bitmap shrunk on the device loses pixels as the stretch mode says;
  // Image and Source become the shrunk bitmap.
  void ShrinkByStretchMode(QRectF& Dest, QImage& Image, QRectF& Source) const;
  // Brush, bitmap and page combined by the operation of index Index, pixel
  // by pixel; false where the page's pixels cannot be read.
  bool BlitThreeWay(QRectF Dest, QImage Image, QRectF Source, int Index);
  void FillRop(const QRectF& Dest, uint32_t Rop);
  bool PlayArc(uint32_t Type, const TRecord& R);
  // The frame of a rectangle, an ellipse or an arc, shrunk by half the pen's
  // width when the pen keeps within it.
  QRectF FrameOf(const QRectF& Box) const;
  bool PlayPolyDraw(const TRecord& R, bool Short);
  bool PlayGradient(const TRecord& R);
  // A figure drawn, or gathered while a path is open.
  void AddFigure(const QPainterPath& Figure, bool Fill, bool Stroke);
  void DrawPath(const QPainterPath& Path, bool Fill, bool Stroke, bool Winding = false);
  // Between the start and end of a path, figures are gathered instead of drawn.
  std::optional<QPainterPath> FPath;
  bool FPathOpen = false;
  // A path widened to the outline of its stroke is filled by winding.
  bool FPathWidened = false;
  void WidenPath();
  void PathMoveIfEmpty() {
    if (FPath->elementCount() == 0) FPath->moveTo(S.Current);
  }
  // Figure, which starts at the current position, goes on from there in the
  // open path; the moves inside it start figures of their own.
  void ContinuePath(const QPainterPath& Figure);
  // Pens, brushes and fonts created.
  bool PlayObject(uint32_t Type, const TRecord& R);
  bool Store(uint32_t Index, TGdiObject Object);
  bool PlayPalette(uint32_t Type, const TRecord& R);
  static QRgb PaletteEntry(const TRecord& R, uint32_t Off);
  const std::vector<QRgb>& SelectedPalette() const;
  // A colour as given, one of the selected palette's entries looked up.
  QColor ColorOfRef(uint32_t Ref) const;
  // How a bitmap's colour table reads: 0 colours, 1 palette indexes.
  TDibColors DibColors(uint32_t Usage) const;
  // The colours of the state made again from the colours as given: the
  // text and background colours, the pen's, the brush's, or all.
  enum : int { kTextColors = 1, kPenColor = 2, kBrushColor = 4, kAllColors = 7 };
  void Recolor(int What = kAllColors);
  // State records played by members of their own.
  bool PlayScaleExtents(uint32_t Type, const TRecord& R);
  bool PlayWorldTransform(uint32_t Type, const TRecord& R);
  bool PlayDefaultOnly(uint32_t Type, const TRecord& R);
  bool PlayPoly(uint32_t Type, const TRecord& R);
  bool PlayPolyPoly(uint32_t Type, const TRecord& R);
  bool PlayBox(uint32_t Type, const TRecord& R);
  bool PlayPathDrawn(uint32_t Type, const TRecord& R);
  bool PlayClipRect(uint32_t Type, const TRecord& R);
  void Select(uint32_t Index);
  std::optional<TGdiObject> ObjectAt(uint32_t Index) const;
  // Region data at Off of Size bytes, its rectangles mapped by Map, as
  // device pixels within reach; false when it does not fit the record.
  bool ReadRegion(const TRecord& R, uint32_t Off, uint32_t Size, const QTransform& Map, QRegion& Out) const;
};

}  // namespace emfplay
