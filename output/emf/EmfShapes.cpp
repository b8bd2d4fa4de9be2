// The page mapping, and lines, curves and filled figures.
#include <QLinearGradient>

#include "EmfPlayerCore.h"

namespace emfplay {

std::span<const TRecordEntry> TPlayer::ShapeRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_POLYGON, Call<&TPlayer::PlayPoly>},
      {EMR_POLYGON16, Call<&TPlayer::PlayPoly>},
      {EMR_POLYLINE, Call<&TPlayer::PlayPoly>},
      {EMR_POLYLINE16, Call<&TPlayer::PlayPoly>},
      {EMR_POLYBEZIER, Call<&TPlayer::PlayPoly>},
      {EMR_POLYBEZIER16, Call<&TPlayer::PlayPoly>},
      {EMR_POLYLINETO, Call<&TPlayer::PlayPoly>},
      {EMR_POLYLINETO16, Call<&TPlayer::PlayPoly>},
      {EMR_POLYBEZIERTO, Call<&TPlayer::PlayPoly>},
      {EMR_POLYBEZIERTO16, Call<&TPlayer::PlayPoly>},
      {EMR_POLYPOLYLINE, Call<&TPlayer::PlayPolyPoly>},
      {EMR_POLYPOLYLINE16, Call<&TPlayer::PlayPolyPoly>},
      {EMR_POLYPOLYGON, Call<&TPlayer::PlayPolyPoly>},
      {EMR_POLYPOLYGON16, Call<&TPlayer::PlayPolyPoly>},
      {EMR_POLYDRAW, [](TPlayer& Self, uint32_t, const TRecord& R) { return Self.PlayPolyDraw(R, false); }},
      {EMR_POLYDRAW16, [](TPlayer& Self, uint32_t, const TRecord& R) { return Self.PlayPolyDraw(R, true); }},
      {EMR_ELLIPSE, Call<&TPlayer::PlayBox>},
      {EMR_RECTANGLE, Call<&TPlayer::PlayBox>},
      {EMR_ROUNDRECT, Call<&TPlayer::PlayBox>},
      {EMR_ARC, Call<&TPlayer::PlayArc>},
      {EMR_ANGLEARC, Call<&TPlayer::PlayArc>},
      {EMR_ARCTO, Call<&TPlayer::PlayArc>},
      {EMR_CHORD, Call<&TPlayer::PlayArc>},
      {EMR_PIE, Call<&TPlayer::PlayArc>},
      {EMR_GRADIENTFILL, [](TPlayer& Self, uint32_t, const TRecord& R) { return Self.PlayGradient(R); }},
      {EMR_MOVETOEX,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         Self.S.Current = Self.Pt32(R, 8);
         if (Self.FPathOpen) Self.FPath->moveTo(Self.S.Current);
         return true;
       }},
      {EMR_LINETO,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 8)) return false;
         const QPointF to = Self.Pt32(R, 8);
         if (Self.FPathOpen) {
           Self.PathMoveIfEmpty();
           Self.FPath->lineTo(to);
         } else {
           QPainterPath line(Self.S.Current);
           line.lineTo(to);
           Self.DrawPath(line, false, true);
         }
         Self.S.Current = to;
         return true;
       }},
      {EMR_SETARCDIRECTION,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.Clockwise = R.U32(8) == 2;
         return true;
       }},
      {EMR_SETMITERLIMIT,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         // Written as a whole number by some producers, as a float by others.
         const uint32_t bits = R.U32(8);
         const double limit = bits < 0x10000 ? double(bits) : double(R.F32(8));
         if (limit >= 1) Self.S.MiterLimit = std::min(limit, 1e6);
         return true;
       }},
      {EMR_BEGINPATH,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         Self.FPath = QPainterPath();
         Self.FPathOpen = true;
         Self.FPathWidened = false;
         return true;
       }},
      {EMR_ENDPATH,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         Self.FPathOpen = false;
         return true;
       }},
      {EMR_ABORTPATH,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         Self.FPath.reset();
         Self.FPathOpen = false;
         return true;
       }},
      {EMR_WIDENPATH,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         if (Self.FPath) Self.WidenPath();
         return true;
       }},
      // Curves are drawn as fine as the device shows them anyway.
      {EMR_FLATTENPATH, Ignore},
      {EMR_CLOSEFIGURE,
       [](TPlayer& Self, uint32_t, const TRecord&) {
         if (Self.FPath) Self.FPath->closeSubpath();
         return true;
       }},
      {EMR_FILLPATH, Call<&TPlayer::PlayPathDrawn>},
      {EMR_STROKEANDFILLPATH, Call<&TPlayer::PlayPathDrawn>},
      {EMR_STROKEPATH, Call<&TPlayer::PlayPathDrawn>},
  };
  return kRecords;
}

bool TPlayer::PlayPoly(uint32_t Type, const TRecord& R) {
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
    if (fromCurrent)
      ContinuePath(figure);
    else
      FPath->addPath(figure);
  } else {
    DrawPath(figure, polygon, true);
  }
  if (fromCurrent) S.Current = pts.back();
  return true;
}

bool TPlayer::PlayPolyPoly(uint32_t Type, const TRecord& R) {
  std::vector<QPolygonF> polys;
  if (!ReadPolyPoints(R, Type >= EMR_POLYPOLYLINE16, polys)) return false;
  const bool polygons = Type == EMR_POLYPOLYGON || Type == EMR_POLYPOLYGON16;
  QPainterPath path;
  for (const auto& poly : polys) {
    if (polygons && poly.isEmpty()) continue;
    path.addPolygon(poly);
    if (polygons) path.closeSubpath();
  }
  AddFigure(path, polygons, true);
  return true;
}

bool TPlayer::PlayBox(uint32_t Type, const TRecord& R) {
  if (!R.Has(8, Type == EMR_ROUNDRECT ? 24 : 16)) return false;
  const QRectF rect = FrameOf(Rect32(R, 8));
  QPainterPath figure;
  if (Type == EMR_ELLIPSE)
    figure.addEllipse(rect);
  else if (Type == EMR_RECTANGLE)
    figure.addRect(rect);
  else
    figure.addRoundedRect(rect, R.I32(24) / 2.0, R.I32(28) / 2.0);
  AddFigure(figure, true, true);
  return true;
}

bool TPlayer::PlayPathDrawn(uint32_t Type, const TRecord&) {
  if (FPath) DrawPath(*FPath, Type != EMR_STROKEPATH, Type != EMR_FILLPATH, FPathWidened);
  FPath.reset();
  FPathOpen = false;
  return true;
}

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
  // Setting the clip costs the painter as much as a small figure: it is
  // set only when it changed.
  if (!FClipApplied || *FClipApplied != S.Clip) {
    P.setTransform(QTransform());
    // Lifted by an empty region, not by turning clipping off: the raster
    // engine ignores a region of several rectangles set after that.
    P.setClipRegion(S.Clip ? *S.Clip : QRegion(), S.Clip ? Qt::ReplaceClip : Qt::NoClip);
    FClipApplied = S.Clip;
  }
  const QTransform total = Total();
  if (P.transform() != total) P.setTransform(total);
  QPen pen = PenOnDevice();
  QBrush brush = Fill ? S.Brush : QBrush(Qt::NoBrush);
  if (brush.style() == Qt::TexturePattern) brush = OnDevicePixels(brush);
  ApplyRop2(pen, brush);
  P.setPen(pen);
  P.setBrush(brush);
}

QPen TPlayer::PenOnDevice() const {
  // A pen wider than the device is stroked at a width that still covers it:
  // the outlines of wider pens on damaged pages take seconds and gigabytes.
  QPen pen = S.Pen;
  // Both count the miter's whole length in pen widths.
  pen.setMiterLimit(S.MiterLimit);
  // Bitmaps of pens and brushes are tiled in device pixels, from the
  // device's corner, however the page is scaled.
  if (S.PenBrushStyle == Qt::TexturePattern) pen.setBrush(OnDevicePixels(pen.brush()));
  if (pen.style() != Qt::NoPen && pen.widthF() > 0) {
    const double scale = LargestScale(Total());
    const QRectF reach = Reach();
    const double limit = 2 * std::hypot(reach.width(), reach.height());
    const double width = pen.widthF();
    if (!(width * scale <= limit)) pen.setWidthF(scale > 0 && std::isfinite(scale) ? limit / scale : 0);
    if (pen.style() == Qt::CustomDashLine && pen.widthF() > 0) {
      // Dashes count in pen widths: a pen made narrower keeps them as long
      // as the page made them. Dashes and gaps that repeat within a pixel
      // would cost a figure each and show as a line: it is drawn solid.
      const QList<qreal> dashes = pen.dashPattern();
      double period = 0;
      for (qreal dash : dashes) period += dash;
      if (!(period * width * scale >= 1)) {
        pen.setStyle(Qt::SolidLine);
      } else if (width != pen.widthF()) {
        QList<qreal> longer = dashes;
        for (qreal& dash : longer) dash *= width / pen.widthF();
        pen.setDashPattern(longer);
      }
    }
  }
  return pen;
}

QBrush TPlayer::OnDevicePixels(QBrush Brush) const {
  bool invertible = false;
  const QTransform back = Total().inverted(&invertible);
  if (invertible) Brush.setTransform(back);
  return Brush;
}

void TPlayer::WidenPath() {
  // The outline of the path's stroke, in logical units; a thin pen is one
  // pixel wide on the device.
  QPen pen = PenOnDevice();
  if (pen.style() == Qt::NoPen || pen.widthF() <= 0) {
    const double scale = LargestScale(Total());
    pen.setWidthF(scale > 0 && std::isfinite(scale) ? 1 / scale : 1);
    if (pen.style() == Qt::NoPen) pen.setStyle(Qt::SolidLine);
  }
  *FPath = QPainterPathStroker(pen).createStroke(*FPath);
  FPathWidened = true;
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

namespace {

QPen WithColor(QPen Pen, const QColor& Color) {
  Pen.setBrush(Color);
  return Pen;
}

}  // namespace

void TPlayer::DrawPath(const QPainterPath& Path, bool Fill, bool Stroke, bool Winding) {
  QPainterPath path = Path;
  path.setFillRule(Winding ? Qt::WindingFill : S.FillRule);
  Prepare(Fill);
  if (!Stroke) P.setPen(Qt::NoPen);
  const QTransform total = P.transform();
  const QRectF reach = Reach();
  const QRectF box = total.mapRect(path.controlPointRect());
  // Hatches in the opaque background mode fill their gaps with the
  // background colour.
  auto hatched = [](Qt::BrushStyle Style) { return Style >= Qt::HorPattern && Style <= Qt::DiagCrossPattern; };
  const bool hatchGround = S.BkOpaque && hatched(P.brush().style());
  const bool penGround = S.BkOpaque && hatched(S.PenBrushStyle) && P.pen().style() != Qt::NoPen;
  if (box.width() <= kFarBeyond * reach.width() && box.height() <= kFarBeyond * reach.height()) {
    if (hatchGround) P.fillPath(path, S.BkColor);
    if (penGround) P.strokePath(path, WithColor(P.pen(), S.BkColor));
    P.drawPath(path);
    return;
  }
  // Smoothing the edges of a figure far beyond the device costs the painter
  // time for every pixel of its length, seconds for one damaged point: it
  // is drawn in device pixels, cut to the device with a margin the pen
  // cannot reach across.
  const QPen pen = P.pen();
  const double penWidth = pen.style() == Qt::NoPen ? 0 : pen.widthF() * LargestScale(total);
  const double margin = 2 + penWidth * std::max(1.0, S.MiterLimit);
  const QRectF around = reach.adjusted(-margin, -margin, margin, margin);
  const QList<QPolygonF> figures = total.map(path).toSubpathPolygons();
  QPainterPath fill, stroke;
  fill.setFillRule(path.fillRule());
  for (const QPolygonF& figure : figures) {
    const QPolygonF area = CutToRect(figure, around);
    if (area.size() >= 3) fill.addPolygon(area);
    const std::vector<QPolygonF> pieces = CutLineToRect(figure, around);
    for (const QPolygonF& piece : pieces) stroke.addPolygon(piece);
    // A closed figure wholly inside keeps its last join.
    if (pieces.size() == 1 && pieces.front() == figure && figure.isClosed()) stroke.closeSubpath();
  }
  QPen devicePen = pen;
  if (!pen.isCosmetic()) devicePen.setWidthF(penWidth);
  QBrush deviceBrush = P.brush();
  deviceBrush.setTransform(deviceBrush.transform() * total);
  P.setTransform(QTransform());
  P.setPen(Qt::NoPen);
  if (hatchGround) P.fillPath(fill, S.BkColor);
  P.setBrush(deviceBrush);
  P.drawPath(fill);
  if (penGround) P.strokePath(stroke, WithColor(devicePen, S.BkColor));
  P.setPen(devicePen);
  P.setBrush(Qt::NoBrush);
  P.drawPath(stroke);
}

bool TPlayer::PlayArc(uint32_t Type, const TRecord& R) {
  if (Type == EMR_ANGLEARC) {
    // A line from the current position to the arc's start, then the arc of
    // a circle, its angles counter-clockwise in degrees.
    if (!R.Has(8, 20)) return false;
    const QPointF c = Pt32(R, 8);
    const double r = R.U32(16);
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPainterPath start;
    start.arcMoveTo(box, R.F32(20));
    QPainterPath figure(S.Current);
    figure.lineTo(start.currentPosition());
    figure.arcTo(box, R.F32(20), R.F32(24));
    S.Current = figure.currentPosition();
    if (FPathOpen)
      ContinuePath(figure);
    else
      DrawPath(figure, false, true);
    return true;
  }
  if (!R.Has(8, 32)) return false;
  const QRectF box = Type == EMR_CHORD || Type == EMR_PIE ? FrameOf(Rect32(R, 8)) : Rect32(R, 8);
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
  if (Type == EMR_ARCTO) {
    // The arc continues a line from the current position to its start.
    QPainterPath line(S.Current);
    line.lineTo(figure.elementAt(0));
    line.connectPath(figure);
    figure = line;
    S.Current = figure.currentPosition();
    if (FPathOpen) {
      ContinuePath(figure);
      return true;
    }
  }
  if (Type == EMR_CHORD || Type == EMR_PIE) figure.closeSubpath();
  AddFigure(figure, Type == EMR_CHORD || Type == EMR_PIE, true);
  return true;
}

QRectF TPlayer::FrameOf(const QRectF& Box) const {
  const double half = S.Pen.style() == Qt::NoPen ? 0 : S.Pen.widthF() / 2;
  if (!S.PenInsideFrame || half <= 0) return Box;
  const double dx = std::min(half, Box.width() / 2), dy = std::min(half, Box.height() / 2);
  return Box.adjusted(dx, dy, -dx, -dy);
}

void TPlayer::ContinuePath(const QPainterPath& Figure) {
  PathMoveIfEmpty();
  for (int i = 1; i < Figure.elementCount(); ++i) {
    const QPainterPath::Element e = Figure.elementAt(i);
    if (e.isMoveTo()) {
      FPath->moveTo(e);
    } else if (e.isLineTo()) {
      FPath->lineTo(e);
    } else if (e.isCurveTo() && i + 2 < Figure.elementCount()) {
      FPath->cubicTo(e, Figure.elementAt(i + 1), Figure.elementAt(i + 2));
      i += 2;
    }
  }
}

void TPlayer::AddFigure(const QPainterPath& Figure, bool Fill, bool Stroke) {
  if (FPathOpen)
    FPath->addPath(Figure);
  else
    DrawPath(Figure, Fill, Stroke);
}

bool TPlayer::PlayPolyDraw(const TRecord& R, bool Short) {
  QPolygonF pts;
  if (!ReadPoints(R, 24, Short, pts)) return false;
  const uint64_t typesOff = 28 + uint64_t(pts.size()) * (Short ? 4 : 8);
  if (!R.Has(uint32_t(typesOff), uint64_t(pts.size()))) return false;
  // Each point moves, draws a line or a part of a curve, and may close its
  // figure; a figure is a path of its own, drawn in one go.
  QPainterPath figure(S.Current);
  QPointF start = S.Current;
  for (qsizetype i = 0; i < pts.size(); ++i) {
    const uint8_t type = R.U8(uint32_t(typesOff + uint64_t(i)));
    switch (type & 0x06) {
      case 0x06:  // move
        figure.moveTo(pts[i]);
        start = pts[i];
        break;
      case 0x04:  // three points of a curve
        if (i + 2 >= pts.size()) return true;
        figure.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
        i += 2;
        break;
      default:  // a line
        figure.lineTo(pts[i]);
        break;
    }
    if (R.U8(uint32_t(typesOff + uint64_t(i))) & 0x01) {
      figure.closeSubpath();
      figure.moveTo(start);
    }
  }
  S.Current = figure.currentPosition();
  if (FPathOpen) {
    ContinuePath(figure);
  } else {
    DrawPath(figure, false, true);
  }
  return true;
}

bool TPlayer::PlayGradient(const TRecord& R) {
  if (!R.Has(8, 28)) return false;
  const uint64_t vertices = R.U32(24), parts = R.U32(28);
  const uint32_t mode = R.U32(32);
  const uint64_t each = mode == 2 ? 12 : 8;
  if (!R.Has(36, vertices * 16) || !R.Has(uint32_t(36 + vertices * 16), parts * each)) return false;
  auto point = [&](uint64_t V) { return Pt32(R, uint32_t(36 + V * 16)); };
  auto color = [&](uint64_t V) {
    const uint32_t off = uint32_t(36 + V * 16 + 8);  // 16-bit channels, the upper byte counts
    return QColor(R.U16(off) >> 8, R.U16(off + 2) >> 8, R.U16(off + 4) >> 8);
  };
  const QTransform total = Total();
  const QRectF reach = Reach();
  // Shading costs a pass over each triangle's pixels: a damaged page with
  // thousands of triangles over the whole device stops after a few passes
  // over the device.
  double budget = 8 * reach.width() * reach.height();
  for (uint64_t k = 0; k < parts; ++k) {
    const uint32_t off = uint32_t(36 + vertices * 16 + k * each);
    const uint64_t a = R.U32(off), b = R.U32(off + 4), c = mode == 2 ? R.U32(off + 8) : 0;
    if (a >= vertices || b >= vertices || c >= vertices) continue;
    if (mode != 2) {  // a rectangle shading across or down
      const QRectF rect = QRectF(point(a), point(b)).normalized();
      QLinearGradient shade(rect.topLeft(), mode == 0 ? rect.topRight() : rect.bottomLeft());
      const bool flip = mode == 0 ? point(a).x() > point(b).x() : point(a).y() > point(b).y();
      shade.setColorAt(0, color(flip ? b : a));
      shade.setColorAt(1, color(flip ? a : b));
      Prepare(false);
      P.fillRect(rect, shade);
      continue;
    }
    // A triangle: each pixel weighs the three corners' colours by how near
    // it lies to them.
    const QPointF p0 = total.map(point(a)), p1 = total.map(point(b)), p2 = total.map(point(c));
    const QRect box = QPolygonF({p0, p1, p2}).boundingRect().intersected(reach).toAlignedRect();
    const double det = (p1.y() - p2.y()) * (p0.x() - p2.x()) + (p2.x() - p1.x()) * (p0.y() - p2.y());
    if (box.isEmpty() || std::abs(det) < 1e-9) continue;
    budget -= double(box.width()) * box.height();
    if (budget < 0) break;
    QImage shade(box.size(), QImage::Format_ARGB32_Premultiplied);
    const QColor c0 = color(a), c1 = color(b), c2 = color(c);
    for (int y = 0; y < shade.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(shade.scanLine(y));
      for (int x = 0; x < shade.width(); ++x) {
        const double px = box.left() + x + 0.5, py = box.top() + y + 0.5;
        const double w0 = ((p1.y() - p2.y()) * (px - p2.x()) + (p2.x() - p1.x()) * (py - p2.y())) / det;
        const double w1 = ((p2.y() - p0.y()) * (px - p2.x()) + (p0.x() - p2.x()) * (py - p2.y())) / det;
        const double w2 = 1 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) {
          line[x] = 0;
          continue;
        }
        line[x] = qRgb(int(w0 * c0.red() + w1 * c1.red() + w2 * c2.red()),
                       int(w0 * c0.green() + w1 * c1.green() + w2 * c2.green()),
                       int(w0 * c0.blue() + w1 * c1.blue() + w2 * c2.blue()));
      }
    }
    Prepare(false);
    P.setTransform(QTransform());
    P.drawImage(box.topLeft(), shade);
  }
  return true;
}

}  // namespace emfplay
