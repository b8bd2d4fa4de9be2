// Pens, brushes and fonts: created from their records and selected.
#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

constexpr uint32_t kGeometric = 0x10000;
constexpr uint32_t kUserStyle = 7;
constexpr uint32_t kAlternate = 8;
constexpr size_t kMaxDashes = 16;

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
    pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
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
  const std::optional<TGdiObject> object = ObjectAt(Index);
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
      S.FontWidth = object->FontWidth;
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
      const bool nullBrush = R.U32(36) == 1;
      o.Pen = nullBrush ? QPen(Qt::NoPen) : PenOf(style, std::max(0, R.I32(32)), ColorOf(R.U32(40)), dashes);
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
      o.FontWidth = std::abs(double(R.I32(lf + 4)));
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
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      if (!R.Has(8, 24)) return false;
      const uint32_t offBmi = R.U32(16), cbBmi = R.U32(20), offBits = R.U32(24), cbBits = R.U32(28);
      if (!R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return false;
      // A monochrome brush takes the text and background colours for its
      // two values, whatever colours its bitmap may carry.
      TDibColors colors;
      if (Type == EMR_CREATEMONOBRUSH) colors.Two.emplace(S.TextColor.rgb(), S.BkColor.rgb());
      const auto image = DecodeDib(R, offBmi, cbBmi, offBits, cbBits, nullptr, colors);
      TGdiObject o;
      o.Kind = TGdiObject::kBrush;
      // A bitmap of a kind not known fills nothing rather than refusing the page.
      o.Brush = image ? QBrush(*image) : QBrush(Qt::NoBrush);
      return Store(R.U32(8), o);
    }
    default:
      return true;
  }
}

}  // namespace emfplay
