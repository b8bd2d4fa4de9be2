#include "EmfPlayer.h"

#include <QFile>
#include <QFileInfo>

#include "EmfPlayerCore.h"

namespace emfplay {

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
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16: {
      std::vector<QPolygonF> polys;
      if (!ReadPolyPoints(R, Type >= EMR_POLYPOLYLINE16, polys)) return false;
      if (Type == EMR_POLYPOLYGON || Type == EMR_POLYPOLYGON16) {
        QPainterPath path;
        for (const auto& poly : polys) {
          if (poly.isEmpty()) continue;
          path.addPolygon(poly);
          path.closeSubpath();
        }
        AddFigure(path, true, true);
      } else {
        QPainterPath path;
        for (const auto& poly : polys) path.addPolygon(poly);
        AddFigure(path, false, true);
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
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      if (!R.Has(8, 16)) return false;
      // Only the modes whose extents count scale them; a zero divisor
      // leaves them as they are.
      const double xNum = R.I32(8), xDenom = R.I32(12), yNum = R.I32(16), yDenom = R.I32(20);
      if (S.MapMode < 7 || xDenom == 0 || yDenom == 0) return true;
      QSizeF& ext = Type == EMR_SCALEVIEWPORTEXTEX ? S.ViewportExt : S.WindowExt;
      ext = QSizeF(ext.width() * xNum / xDenom, ext.height() * yNum / yDenom);
      return true;
    }
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
        QPainterPath line(S.Current);
        line.lineTo(to);
        DrawPath(line, false, true);
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
    case EMR_OFFSETCLIPRGN: {
      if (!R.Has(8, 8)) return false;
      if (!S.Clip) return true;
      const QTransform total = Total();
      const QPointF by = total.map(Pt32(R, 8)) - total.map(QPointF(0, 0));
      const QRectF reach = Reach();
      // Moved beyond the device, nothing of the clip stays.
      if (!(std::abs(by.x()) <= reach.width() && std::abs(by.y()) <= reach.height()))
        S.Clip = QRegion();
      else
        S.Clip = S.Clip->translated(int(std::lround(by.x())), int(std::lround(by.y())));
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
      // Its rectangles are in device units.
      QRegion area;
      if (!ReadRegion(R, 16, cbData, FToDest, area)) return false;
      CombineClip(area, mode);
      return true;
    }
    case EMR_SELECTCLIPPATH:
      if (!R.Has(8, 4)) return false;
      if (FPath) {
        CombineClip(RegionOf(Total().map(*FPath), FPathWidened ? Qt::WindingFill : S.FillRule), R.U32(8));
      }
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_BEGINPATH:
      FPath = QPainterPath();
      FPathOpen = true;
      FPathWidened = false;
      return true;
    case EMR_ENDPATH:
      FPathOpen = false;
      return true;
    case EMR_ABORTPATH:
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_WIDENPATH:
      if (FPath) WidenPath();
      return true;
    case EMR_FLATTENPATH:  // curves are drawn as fine as the device shows them anyway
      return true;
    case EMR_SETMITERLIMIT: {
      if (!R.Has(8, 4)) return false;
      // Written as a whole number by some producers, as a float by others.
      const uint32_t bits = R.U32(8);
      const double limit = bits < 0x10000 ? double(bits) : double(R.F32(8));
      if (limit >= 1) S.MiterLimit = std::min(limit, 1e6);
      return true;
    }
    case EMR_CLOSEFIGURE:
      if (FPath) FPath->closeSubpath();
      return true;
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
      if (FPath) DrawPath(*FPath, Type != EMR_STROKEPATH, Type != EMR_FILLPATH, FPathWidened);
      FPath.reset();
      FPathOpen = false;
      return true;
    case EMR_SETARCDIRECTION:
      if (!R.Has(8, 4)) return false;
      S.Clockwise = R.U32(8) == 2;
      return true;
    case EMR_ARC:
    case EMR_ANGLEARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE:
      return PlayArc(Type, R);
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
      return PlayPolyDraw(R, Type == EMR_POLYDRAW16);
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
      return PlayBlt(Type, R);
    case EMR_SETDIBITSTODEVICE:
      return PlaySetDibits(R);
    case EMR_GRADIENTFILL:
      return PlayGradient(R);
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
      return PlayRegion(Type, R);
    case EMR_SETROP2:
      if (!R.Has(8, 4)) return false;
      if (R.U32(8) >= 1 && R.U32(8) <= 16) S.Rop2 = R.U32(8);
      return true;
    case EMR_SETPIXELV: {
      if (!R.Has(8, 12)) return false;
      // One pixel of the page's own device, however large that comes out here.
      const QPointF at = (S.World * PageTransform()).map(Pt32(R, 8));
      const QRectF pixel(std::floor(at.x()), std::floor(at.y()), 1, 1);
      Prepare(false);
      P.setTransform(FToDest);
      P.setRenderHint(QPainter::Antialiasing, false);
      P.setCompositionMode(QPainter::CompositionMode_SourceOver);
      P.fillRect(pixel, ColorOf(R.U32(16)));
      return true;
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
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
      return PlayObject(Type, R);
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
      AddFigure(figure, true, true);
      return true;
    }
    case EMR_EXTTEXTOUTW:
    case EMR_EXTTEXTOUTA:
    case EMR_POLYTEXTOUTW:
    case EMR_POLYTEXTOUTA:
    case EMR_SMALLTEXTOUT:
      return PlayText(Type, R);
    case EMR_STRETCHDIBITS:
      return PlayDib(R);
    // Settings that change nothing this player draws: comments, palettes
    // (colours are taken as they are given), colour matching, the quality
    // of stretching, font mapping hints.
    case EMR_GDICOMMENT:
    case EMR_SETMAPPERFLAGS:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SETCOLORADJUSTMENT:
    case EMR_SETMETARGN:
    case EMR_SELECTPALETTE:
    case EMR_CREATEPALETTE:
    case EMR_SETPALETTEENTRIES:
    case EMR_RESIZEPALETTE:
    case EMR_REALIZEPALETTE:
    case EMR_SETICMMODE:
    case EMR_CREATECOLORSPACE:
    case EMR_SETCOLORSPACE:
    case EMR_DELETECOLORSPACE:
    case EMR_PIXELFORMAT:
    case EMR_FORCEUFIMAPPING:
    case EMR_COLORCORRECTPALETTE:
    case EMR_SETICMPROFILEA:
    case EMR_SETICMPROFILEW:
    case EMR_SETLINKEDUFIS:
    case EMR_COLORMATCHTOTARGETW:
    case EMR_CREATECOLORSPACEW:
      return true;
    // Settings at their defaults change nothing either.
    case EMR_SETBRUSHORGEX:
    case EMR_SETLAYOUT:
    case EMR_SETTEXTJUSTIFICATION:
      if (R.Size() < 12 || (R.U32(8) == 0 && R.U32(12) == 0)) return true;
      ++FPassedOver;
      return true;
    default:
      ++FPassedOver;  // not drawn by this player
      return true;
  }
}

}  // namespace emfplay

using namespace emfplay;

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

int TEmfPicture::Draw(QPainter& Painter, const QRectF& Dest, int* PassedOver) const {
  if (Empty() || FFrame.width() <= 0 || FFrame.height() <= 0) return 0;
  const QTransform toDest = QTransform::fromTranslate(-FFrame.left(), -FFrame.top()) *
                            QTransform::fromScale(Dest.width() / FFrame.width(), Dest.height() / FFrame.height()) *
                            QTransform::fromTranslate(Dest.left(), Dest.top());
  Painter.save();
  // Smooth edges as the producers draw them on screen.
  Painter.setRenderHint(QPainter::Antialiasing, true);
  Painter.setRenderHint(QPainter::TextAntialiasing, true);
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
  if (PassedOver) *PassedOver = player.PassedOver();
  return skipped;
}
