// Clipping: figures cut to the device, and clip regions combined.
#include "EmfPlayerCore.h"

namespace emfplay {

std::span<const TRecordEntry> TPlayer::RegionRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_INTERSECTCLIPRECT, Call<&TPlayer::PlayClipRect>},
      {EMR_EXCLUDECLIPRECT, Call<&TPlayer::PlayClipRect>},
      {EMR_OFFSETCLIPRGN,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         if (!Self.S.Clip) return true;
         const QTransform total = Self.Total();
         const QPointF by = total.map(Self.Pt32(R, 8)) - total.map(QPointF(0, 0));
         const QRectF reach = Self.Reach();
         // Moved beyond the device, nothing of the clip stays.
         if (!(std::abs(by.x()) <= reach.width() && std::abs(by.y()) <= reach.height()))
           Self.S.Clip = QRegion();
         else
           Self.S.Clip = Self.S.Clip->translated(int(std::lround(by.x())), int(std::lround(by.y())));
         return true;
       }},
      {EMR_EXTSELECTCLIPRGN,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         const uint32_t cbData = R.U32(8);
         const uint32_t mode = R.U32(12);
         if (cbData == 0) {
           if (mode == 5) Self.S.Clip.reset();  // copying no region: no clipping
           return true;
         }
         // Its rectangles are in device units.
         QRegion area;
         if (!Self.ReadRegion(R, 16, cbData, Self.FToDest, area)) return false;
         Self.CombineClip(area, mode);
         return true;
       }},
      {EMR_SELECTCLIPPATH,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         if (Self.FPath) {
           const Qt::FillRule rule = Self.FPathWidened ? Qt::WindingFill : Self.S.FillRule;
           Self.CombineClip(Self.RegionOf(Self.Total().map(*Self.FPath), rule), R.U32(8));
         }
         Self.FPath.reset();
         Self.FPathOpen = false;
         return true;
       }},
      {EMR_FILLRGN, Call<&TPlayer::PlayRegion>},
      {EMR_FRAMERGN, Call<&TPlayer::PlayRegion>},
      {EMR_INVERTRGN, Call<&TPlayer::PlayRegion>},
      {EMR_PAINTRGN, Call<&TPlayer::PlayRegion>},
  };
  return kRecords;
}

bool TPlayer::PlayClipRect(uint32_t Type, const TRecord& R) {
  if (!R.Has(8, 16)) return false;
  QPainterPath rect;
  rect.addPolygon(QPolygonF(Rect32(R, 8)));
  CombineClip(RegionOf(Total().map(rect), Qt::OddEvenFill), Type == EMR_INTERSECTCLIPRECT ? 1 : 4);
  return true;
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

std::vector<QPolygonF> CutLineToRect(const QPolygonF& Line, const QRectF& Box) {
  std::vector<QPolygonF> pieces;
  bool joined = false;  // the last piece ends where the next segment starts
  for (qsizetype i = 0; i + 1 < Line.size(); ++i) {
    const QPointF a = Line[i], b = Line[i + 1];
    // The part of the segment inside Box: its parameters from t0 to t1.
    double t0 = 0, t1 = 1;
    const double d[4] = {a.x() - b.x(), b.x() - a.x(), a.y() - b.y(), b.y() - a.y()};
    const double q[4] = {a.x() - Box.left(), Box.right() - a.x(), a.y() - Box.top(), Box.bottom() - a.y()};
    bool visible = std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x()) && std::isfinite(b.y());
    for (int k = 0; k < 4 && visible; ++k) {
      if (d[k] == 0) {
        visible = q[k] >= 0;
      } else if (d[k] < 0) {
        t0 = std::max(t0, q[k] / d[k]);
      } else {
        t1 = std::min(t1, q[k] / d[k]);
      }
      visible = visible && t0 <= t1;
    }
    if (!visible) {
      joined = false;
      continue;
    }
    const QPointF from = a + t0 * (b - a), to = a + t1 * (b - a);
    if (!joined || t0 > 0) pieces.push_back(QPolygonF{from});
    pieces.back() << to;
    joined = t1 >= 1;
  }
  return pieces;
}

QRegion TPlayer::RegionOf(const QPainterPath& Path, Qt::FillRule Rule) const {
  // The figures as one polygon, each reached from the first one's start
  // and left back to it along the same edge: those edges cancel, so the
  // figures count together, and a figure running against another cuts a
  // hole in it under either rule.
  const QRectF box = Reach();
  QPolygon all;
  for (const QPolygonF& poly : Path.toSubpathPolygons()) {
    const QPolygonF cut = CutToRect(poly, box);
    if (cut.size() < 3) continue;
    const QPolygon part = cut.toPolygon();
    const QPoint origin = all.isEmpty() ? part.front() : all.front();
    all << part << part.front();
    if (part.front() != origin) all << origin;
  }
  return all.size() >= 3 ? QRegion(all, Rule) : QRegion();
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

bool TPlayer::ReadRegion(const TRecord& R, uint32_t Off, uint32_t Size, const QTransform& Map, QRegion& Out) const {
  // A header of 32 bytes, then the rectangles.
  if (Size < 32 || !R.Has(Off, Size)) return false;
  const uint64_t count = R.U32(Off + 8);
  if (32 + count * 16 > Size) return false;
  // The rectangles are united pairwise, so a long list costs no more than
  // sorting it would.
  const QRectF box = Reach();
  std::vector<QRegion> parts;
  parts.reserve(size_t(count));
  for (uint64_t i = 0; i < count; ++i) {
    const QRectF r = Map.mapRect(Rect32(R, uint32_t(Off + 32 + i * 16))).intersected(box);
    if (r.isValid()) parts.emplace_back(r.toAlignedRect());
  }
  while (parts.size() > 1) {
    std::vector<QRegion> next;
    next.reserve(parts.size() / 2 + 1);
    for (size_t i = 0; i < parts.size(); i += 2)
      next.push_back(i + 1 < parts.size() ? parts[i].united(parts[i + 1]) : parts[i]);
    parts.swap(next);
  }
  Out = parts.empty() ? QRegion() : parts.front();
  return true;
}

bool TPlayer::PlayRegion(uint32_t Type, const TRecord& R) {
  const uint32_t dataOff = Type == EMR_FILLRGN ? 32 : Type == EMR_FRAMERGN ? 40 : 28;
  if (!R.Has(0, dataOff)) return false;
  const QTransform total = Total();
  QRegion area;
  if (!ReadRegion(R, dataOff, R.U32(24), total, area)) return false;
  QBrush brush = S.Brush;
  if (Type == EMR_FILLRGN || Type == EMR_FRAMERGN) {
    const auto object = ObjectAt(R.U32(28));
    if (!object || object->Kind != TGdiObject::kBrush) return true;
    brush = object->Brush;
  }
  if (Type == EMR_FRAMERGN) {
    // The frame lies inside the region's edges: what stays of the region
    // when it is shrunk by the frame's width and height is taken away.
    const QRectF reach = Reach();
    auto thickness = [&](int32_t Units, double Scale) {
      return int(std::clamp(std::lround(std::abs(double(Units)) * Scale), 1L, long(reach.width() + reach.height())));
    };
    const int w = thickness(R.I32(32), std::hypot(total.m11(), total.m12()));
    const int h = thickness(R.I32(36), std::hypot(total.m21(), total.m22()));
    const QRegion inner = area.intersected(area.translated(w, 0))
                              .intersected(area.translated(-w, 0))
                              .intersected(area.translated(0, h))
                              .intersected(area.translated(0, -h));
    area = area.subtracted(inner);
  }
  Prepare(true);
  P.setTransform(QTransform());
  P.setRenderHint(QPainter::Antialiasing, false);
  if (Type == EMR_INVERTRGN) {
    if (!RasterOpsWork()) return true;  // inverting what a printer shows cannot be done
    P.setCompositionMode(QPainter::RasterOp_NotDestination);
    brush = QBrush(Qt::white);
  }
  for (const QRect& r : area) P.fillRect(r, brush);
  return true;
}

}  // namespace emfplay
