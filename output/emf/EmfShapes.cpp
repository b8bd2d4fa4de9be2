// The page mapping, and lines, curves and filled figures.
#include "EmfPlayerCore.h"

namespace emfplay {

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

void TPlayer::DrawPath(const QPainterPath& Path, bool Fill, bool Stroke) {
  QPainterPath path = Path;
  path.setFillRule(S.FillRule);
  Prepare(Fill);
  if (!Stroke) P.setPen(Qt::NoPen);
  P.drawPath(path);
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

}  // namespace emfplay
