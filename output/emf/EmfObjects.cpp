// Pens, brushes and fonts: created from their records and selected.
#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

constexpr uint32_t kGeometric = 0x10000;
constexpr uint32_t kInsideFrame = 6;
constexpr uint32_t kUserStyle = 7;
constexpr uint32_t kAlternate = 8;
constexpr size_t kMaxDashes = 16;
constexpr uint32_t kBsNull = 1, kBsHatched = 2, kBsPattern = 3, kBsDibPattern = 5, kBsDibPatternPt = 6;

// A pen as its producer draws it: the dashes of the predefined styles as
// long as theirs, in pixels for thin pens and in widths for geometric ones;
// user dashes in logical units; the ends and joins geometric pens ask for.
QPen PenOf(uint32_t Style, int32_t Width, const QColor& Color, const std::vector<uint32_t>& Dashes = {}) {
  if ((Style & 0x0F) == 5) return QPen(Qt::NoPen);
  const bool geometric = Style & kGeometric;
  QPen pen(Color, geometric ? Width : 0);
  if (geometric) {
    const uint32_t cap = Style & 0xF00, join = Style & 0xF000;
    pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
    // A miter longer than the limit becomes a bevel, not a miter cut short.
    pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::SvgMiterJoin : Qt::RoundJoin);
  }
  // Qt counts dashes in pen widths (a thin pen's width counts as one).
  const double unit = geometric && Width > 0 ? Width : 1;
  QList<qreal> pattern;
  switch (Style & 0x0F) {
    case 1:
      pattern = geometric ? QList<qreal>{3, 1} : QList<qreal>{18, 6};
      break;
    case 2:
      pattern = geometric ? QList<qreal>{1, 1} : QList<qreal>{3, 3};
      break;
    case 3:
      pattern = geometric ? QList<qreal>{3, 1, 1, 1} : QList<qreal>{9, 6, 3, 6};
      break;
    case 4:
      pattern = geometric ? QList<qreal>{3, 1, 1, 1, 1, 1} : QList<qreal>{9, 3, 3, 3, 3, 3};
      break;
    case kUserStyle:
      for (uint32_t d : Dashes) pattern << std::min(double(d), 1e6) / unit;
      // An odd count runs twice, dashes becoming gaps the second time.
      if (pattern.size() % 2) pattern += pattern;
      if (std::all_of(pattern.begin(), pattern.end(), [](qreal D) { return D <= 0; })) pattern.clear();
      break;
    case kAlternate:
      pattern = {1, 1};
      break;
    default:
      break;
  }
  if (!pattern.isEmpty()) pen.setDashPattern(pattern);
  return pen;
}

QBrush BrushOf(uint32_t Style, uint32_t Color, uint32_t Hatch) {
  switch (Style) {
    case kBsNull:
      return QBrush(Qt::NoBrush);
    case kBsHatched: {
      static const Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                              Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(ColorOf(Color), Hatch < 6 ? kHatch[Hatch] : Qt::SolidPattern);
    }
    default:
      return QBrush(ColorOf(Color));
  }
}

}  // namespace

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

std::span<const TRecordEntry> TPlayer::ObjectRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_SELECTOBJECT,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.Select(R.U32(8));
         return true;
       }},
      {EMR_DELETEOBJECT,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         if (R.U32(8) < Self.FHandles.size()) Self.FHandles[R.U32(8)].reset();
         return true;
       }},
      {EMR_CREATEPEN, Call<&TPlayer::PlayObject>},
      {EMR_EXTCREATEPEN, Call<&TPlayer::PlayObject>},
      {EMR_CREATEBRUSHINDIRECT, Call<&TPlayer::PlayObject>},
      {EMR_EXTCREATEFONTINDIRECTW, Call<&TPlayer::PlayObject>},
      {EMR_CREATEMONOBRUSH, Call<&TPlayer::PlayObject>},
      {EMR_CREATEDIBPATTERNBRUSHPT, Call<&TPlayer::PlayObject>},
      {EMR_CREATEPALETTE, Call<&TPlayer::PlayPalette>},
      {EMR_SETPALETTEENTRIES, Call<&TPlayer::PlayPalette>},
      {EMR_RESIZEPALETTE, Call<&TPlayer::PlayPalette>},
      {EMR_SELECTPALETTE,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         const uint32_t index = R.U32(8);
         if (index == (0x80000000u | kDefaultPalette)) {
           Self.S.Palette = 0;
         } else {
           const auto object = Self.ObjectAt(index);
           if (!object || object->Kind != TGdiObject::kPalette) return true;
           Self.S.Palette = index;
         }
         Self.Recolor();
         return true;
       }},
      // The device shows every colour: nothing to realize.
      {EMR_REALIZEPALETTE, Ignore},
  };
  return kRecords;
}

bool TPlayer::PlayPalette(uint32_t Type, const TRecord& R) {
  if (Type == EMR_CREATEPALETTE) {
    // A version, the number of entries, then red, green, blue and flags.
    if (!R.Has(8, 8)) return false;
    const uint64_t n = R.U16(14);
    if (!R.Has(16, n * 4)) return false;
    TGdiObject o;
    o.Kind = TGdiObject::kPalette;
    for (uint64_t i = 0; i < n; ++i) o.Palette.push_back(PaletteEntry(R, uint32_t(16 + i * 4)));
    return Store(R.U32(8), o);
  }
  if (!R.Has(8, 8)) return false;
  const uint32_t index = R.U32(8);
  if (index >= FHandles.size() || !FHandles[index] || FHandles[index]->Kind != TGdiObject::kPalette) return true;
  std::vector<QRgb>& entries = FHandles[index]->Palette;
  if (Type == EMR_RESIZEPALETTE) {
    entries.resize(std::min<size_t>(R.U32(12), kMaxPaletteEntries), qRgb(0, 0, 0));
  } else {
    if (!R.Has(8, 12)) return false;
    const uint64_t start = R.U32(12), n = R.U32(16);
    if (!R.Has(20, n * 4)) return false;
    for (uint64_t i = 0; i < n && start + i < entries.size(); ++i)
      entries[size_t(start + i)] = PaletteEntry(R, uint32_t(20 + i * 4));
  }
  if (S.Palette == index) Recolor();
  return true;
}

QRgb TPlayer::PaletteEntry(const TRecord& R, uint32_t Off) { return qRgb(R.U8(Off), R.U8(Off + 1), R.U8(Off + 2)); }

const std::vector<QRgb>& TPlayer::SelectedPalette() const {
  // The twenty colours every device keeps.
  static const std::vector<QRgb> kDefault = {
      qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
      qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
      qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
      qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255)};
  if (S.Palette < FHandles.size() && FHandles[S.Palette] && FHandles[S.Palette]->Kind == TGdiObject::kPalette &&
      !FHandles[S.Palette]->Palette.empty())
    return FHandles[S.Palette]->Palette;
  return kDefault;
}

QColor TPlayer::ColorOfRef(uint32_t Ref) const {
  if ((Ref >> 24) != 1) return ColorOf(Ref);
  // An index into the selected palette; one beyond it takes the first entry.
  const std::vector<QRgb>& entries = SelectedPalette();
  const uint32_t index = Ref & 0xFFFF;
  return QColor(index < entries.size() ? entries[index] : entries.front());
}

TDibColors TPlayer::DibColors(uint32_t Usage) const {
  TDibColors colors;
  if (Usage == 1) colors.Palette = SelectedPalette();
  return colors;
}

void TPlayer::Recolor(int What) {
  const auto fromPalette = [](uint32_t Ref) { return (Ref >> 24) == 1; };
  if (What & kTextColors) {
    S.TextColor = ColorOfRef(S.TextColorRef);
    S.BkColor = ColorOfRef(S.BkColorRef);
  }
  if ((What & kPenColor) && fromPalette(S.PenColorRef) && S.Pen.style() != Qt::NoPen &&
      S.PenBrushStyle != Qt::TexturePattern) {
    QBrush brush = S.Pen.brush();
    brush.setColor(ColorOfRef(S.PenColorRef));
    S.Pen.setBrush(brush);
  }
  // A monochrome pattern takes the text and background colours.
  if ((What & (kBrushColor | kTextColors)) && S.BrushMonoPattern) {
    QImage pattern = *S.BrushMonoPattern;
    pattern.setColorTable({S.TextColor.rgb(), S.BkColor.rgb()});
    S.Brush = QBrush(pattern.convertToFormat(QImage::Format_RGB32));
  } else if ((What & kBrushColor) && fromPalette(S.BrushColorRef) && S.Brush.style() != Qt::NoBrush &&
             S.Brush.style() != Qt::TexturePattern) {
    S.Brush.setColor(ColorOfRef(S.BrushColorRef));
  }
}

bool TPlayer::Store(uint32_t Index, TGdiObject Object) {
  if (Index == 0 || Index >= FHandles.size()) return false;
  FHandles[Index] = std::move(Object);
  return true;
}

std::optional<TGdiObject> TPlayer::ObjectAt(uint32_t Index) const {
  if (Index & 0x80000000u) return StockObject(Index & 0x7FFFFFFFu);
  if (Index < FHandles.size()) return FHandles[Index];
  return std::nullopt;
}

void TPlayer::Select(uint32_t Index) {
  // Pages select objects all the time: those made are not copied.
  std::optional<TGdiObject> stock;
  const TGdiObject* object = nullptr;
  if (Index & 0x80000000u) {
    stock = StockObject(Index & 0x7FFFFFFFu);
    if (stock) object = &*stock;
  } else if (Index < FHandles.size() && FHandles[Index]) {
    object = &*FHandles[Index];
  }
  if (!object) return;
  switch (object->Kind) {
    case TGdiObject::kPen:
      S.Pen = object->Pen;
      S.PenBrushStyle = object->Pen.brush().style();
      S.PenInsideFrame = object->InsideFrame;
      S.PenColorRef = object->ColorRef;
      Recolor(kPenColor);
      break;
    case TGdiObject::kBrush:
      S.Brush = object->Brush;
      S.BrushColorRef = object->ColorRef;
      S.BrushMonoPattern = object->MonoPattern;
      Recolor(kBrushColor);
      break;
    case TGdiObject::kFont:
      S.Font = object->Font;
      S.FontHeight = object->FontHeight;
      S.FontEscapement = object->FontEscapement;
      S.FontOrientation = object->FontOrientation;
      S.FontWidth = object->FontWidth;
      S.FontCharset = object->FontCharset;
      break;
    case TGdiObject::kPalette:  // selected by a record of its own
      break;
  }
}

bool TPlayer::PlayObject(uint32_t Type, const TRecord& R) {
  switch (Type) {
    case EMR_CREATEPEN: {
      if (!R.Has(8, 20)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kPen;
      // Pens of this kind are geometric once wider than a pixel, with round
      // ends and joins, and their dashes are for thin pens only: wider ones
      // draw solid.
      const int32_t width = std::max(0, R.I32(16));
      uint32_t style = R.U32(12);
      if (width > 1 && (style & 0x0F) >= 1 && (style & 0x0F) <= 4) style &= ~0x0Fu;
      o.Pen = PenOf(style | (width > 1 ? kGeometric : 0), width, ColorOf(R.U32(24)));
      o.ColorRef = R.U32(24);
      o.InsideFrame = (style & 0x0F) == kInsideFrame;
      return Store(R.U32(8), o);
    }
    case EMR_EXTCREATEPEN: {
      if (!R.Has(8, 44)) return false;
      const uint32_t style = R.U32(28);
      std::vector<uint32_t> dashes;
      if ((style & 0x0F) == kUserStyle) {
        const uint64_t n = R.U32(48);
        if (!R.Has(52, n * 4)) return false;
        for (uint64_t i = 0; i < std::min<uint64_t>(n, kMaxDashes); ++i) dashes.push_back(R.U32(uint32_t(52 + i * 4)));
      }
      TGdiObject o;
      o.Kind = TGdiObject::kPen;
      const uint32_t brushStyle = R.U32(36);
      o.Pen =
          brushStyle == kBsNull ? QPen(Qt::NoPen) : PenOf(style, std::max(0, R.I32(32)), ColorOf(R.U32(40)), dashes);
      o.ColorRef = R.U32(40);
      o.InsideFrame = (style & 0x0F) == kInsideFrame;
      // A geometric pen strokes with any brush: hatches, or a bitmap tiled
      // along its path.
      if (o.Pen.style() != Qt::NoPen && (style & kGeometric)) {
        if (brushStyle == kBsHatched) {
          o.Pen.setBrush(BrushOf(brushStyle, R.U32(40), R.U32(44)));
        } else if (brushStyle == kBsPattern || brushStyle == kBsDibPattern || brushStyle == kBsDibPatternPt) {
          const auto image = DecodeDib(R, R.U32(12), R.U32(16), R.U32(20), R.U32(24), nullptr, DibColors(R.U32(40)));
          if (image) o.Pen.setBrush(QBrush(*image));
        }
      }
      return Store(R.U32(8), o);
    }
    case EMR_CREATEBRUSHINDIRECT: {
      if (!R.Has(8, 16)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kBrush;
      o.Brush = BrushOf(R.U32(12), R.U32(16), R.U32(20));
      o.ColorRef = R.U32(16);
      return Store(R.U32(8), o);
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      if (!R.Has(8, 4 + 92)) return false;
      TGdiObject o;
      o.Kind = TGdiObject::kFont;
      const uint32_t lf = 12;
      o.FontHeight = R.I32(lf);
      o.FontWidth = std::abs(double(R.I32(lf + 4)));
      o.FontEscapement = R.I32(lf + 8);
      o.FontOrientation = R.I32(lf + 12);
      o.FontCharset = R.U8(lf + 23);
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
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      if (!R.Has(8, 24)) return false;
      const uint32_t offBmi = R.U32(16), cbBmi = R.U32(20), offBits = R.U32(24), cbBits = R.U32(28);
      if (!R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return false;
      // A monochrome brush takes the text and background colours of the
      // moment it fills for its two values, whatever colours its bitmap
      // may carry.
      const bool mono = Type == EMR_CREATEMONOBRUSH;
      // A pattern too large to colour again at each change keeps the
      // colours of the moment it is made.
      const TRecord bmi(R.At(offBmi), cbBmi);
      const bool core = bmi.U32(0) == 12;
      const qint64 pixels =
          core ? qint64(bmi.U16(4)) * bmi.U16(6) : std::abs(qint64(bmi.I32(4))) * std::abs(qint64(bmi.I32(8)));
      const bool recolored = mono && pixels <= kMaxMonoPatternPixels;
      TDibColors colors = DibColors(mono ? 0 : R.U32(12));
      if (recolored)
        colors.Two.emplace(qRgb(0, 0, 0), qRgb(255, 255, 255));
      else if (mono)
        colors.Two.emplace(S.TextColor.rgb(), S.BkColor.rgb());
      const auto image = DecodeDib(R, offBmi, cbBmi, offBits, cbBits, nullptr, colors);
      TGdiObject o;
      o.Kind = TGdiObject::kBrush;
      // A bitmap of a kind not known fills nothing rather than refusing the page.
      o.Brush = image ? QBrush(*image) : QBrush(Qt::NoBrush);
      if (image && recolored) {
        // Kept as indexes: 0 for the text colour, 1 for the background.
        QImage indexes(image->size(), QImage::Format_Indexed8);
        indexes.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < image->height(); ++y) {
          const auto* from = reinterpret_cast<const QRgb*>(image->constScanLine(y));
          uchar* to = indexes.scanLine(y);
          for (int x = 0; x < image->width(); ++x) to[x] = (from[x] & 0xFFFFFF) ? 1 : 0;
        }
        o.MonoPattern = indexes;
      }
      return Store(R.U32(8), o);
    }
    default:
      return true;
  }
}

}  // namespace emfplay
