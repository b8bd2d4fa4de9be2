// Pens, brushes and fonts: created from their records and selected.
#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

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

bool TPlayer::PlayObject(uint32_t Type, const TRecord& R) {
  switch (Type) {
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
    default:
      return true;
  }
}

}  // namespace emfplay
