// Clipping: figures cut to the device, and clip regions combined.
#include "EmfPlayerCore.h"

namespace emfplay {

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

}  // namespace emfplay
