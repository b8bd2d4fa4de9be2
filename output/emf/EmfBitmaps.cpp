// Bitmaps: device-independent bitmaps decoded and copied onto the page.
#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

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

}  // namespace

std::span<const TRecordEntry> TPlayer::BitmapRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_BITBLT, Call<&TPlayer::PlayBlt>},
      {EMR_STRETCHBLT, Call<&TPlayer::PlayBlt>},
      {EMR_ALPHABLEND, Call<&TPlayer::PlayBlt>},
      {EMR_TRANSPARENTBLT, Call<&TPlayer::PlayBlt>},
      {EMR_STRETCHDIBITS, [](TPlayer& Self, uint32_t, const TRecord& R) { return Self.PlayDib(R); }},
      {EMR_SETDIBITSTODEVICE, [](TPlayer& Self, uint32_t, const TRecord& R) { return Self.PlaySetDibits(R); }},
      {EMR_SETSTRETCHBLTMODE,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         if (R.U32(8) >= 1 && R.U32(8) <= 4) Self.S.StretchMode = int(R.U32(8));
         return true;
       }},
      {EMR_SETPIXELV,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 12)) return false;
         // One pixel of the page's own device, however large that comes out here.
         const QPointF at = (Self.S.World * Self.PageTransform()).map(Self.Pt32(R, 8));
         const QRectF pixel(std::floor(at.x()), std::floor(at.y()), 1, 1);
         Self.Prepare(false);
         Self.P.setTransform(Self.FToDest);
         Self.P.setRenderHint(QPainter::Antialiasing, false);
         Self.P.setCompositionMode(QPainter::CompositionMode_SourceOver);
         Self.P.fillRect(pixel, Self.ColorOfRef(R.U32(16)));
         return true;
       }},
  };
  return kRecords;
}

namespace {

// One channel of a pixel by its mask, spread over 0 to 255.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;
  explicit TChannel(uint32_t M) : Mask(M) {
    if (!Mask) return;
    while (!((Mask >> Shift) & 1)) ++Shift;
    Max = Mask >> Shift;
  }
  int Of(uint32_t Pixel) const { return Max ? int(uint64_t((Pixel & Mask) >> Shift) * 255 / Max) : 0; }
};

}  // namespace

std::optional<QImage> DecodeDib(const TRecord& R, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                                bool* BottomUp, const TDibColors& Colors) {
  if (cbBmi < 12 || !R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return std::nullopt;
  const TRecord bmi(R.At(offBmi), cbBmi);
  const uint32_t hdrSize = bmi.U32(0);
  // The old header of 12 bytes: sizes of 16 bits, counted from the lower
  // edge, no compression, colours of 3 bytes.
  const bool core = hdrSize == 12;
  const int64_t w = core ? bmi.U16(4) : bmi.I32(4);
  const int64_t hRaw = core ? bmi.U16(6) : bmi.I32(8);
  const int bpp = bmi.U16(core ? 10 : 14);
  const uint32_t compression = core ? 0 : bmi.U32(16);
  const uint32_t clrUsed = core ? 0 : bmi.U32(32);
  if ((!core && hdrSize < 40) || hdrSize > cbBmi || w <= 0 || hRaw == 0 || hRaw == INT32_MIN) return std::nullopt;
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
  uint32_t tableOff = hdrSize;
  // Pixels of 16 and 32 bits: five bits a colour, or eight, unless masks
  // say otherwise; they follow a short header, or are part of a longer one.
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (compression == 3) {
    if (!bmi.Has(40, 12)) return std::nullopt;
    for (int i = 0; i < 3; ++i) masks[i] = bmi.U32(uint32_t(40 + 4 * i));
    if (hdrSize == 40) tableOff += 12;
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);
  if (bpp == 1 && Colors.Two) {
    colors = {Colors.Two->first, Colors.Two->second};
  } else if (bpp == 1 && clrUsed == 0 && !bmi.Has(tableOff, 8) && !Colors.Palette) {
    colors = {qRgb(0, 0, 0), qRgb(255, 255, 255)};  // a bare monochrome bitmap
  } else if (bpp <= 8) {
    uint64_t n = clrUsed ? clrUsed : (1u << bpp);
    n = std::min<uint64_t>(n, 1u << bpp);
    // Colours of 4 bytes (3 in the old header), or indexes of 2 into the
    // palette.
    const uint32_t each = Colors.Palette ? 2 : core ? 3 : 4;
    if (!bmi.Has(tableOff, n * each)) return std::nullopt;
    for (uint64_t i = 0; i < n; ++i) {
      const uint32_t at = uint32_t(tableOff + i * each);
      if (Colors.Palette) {
        const uint16_t index = bmi.U16(at);
        colors.push_back(index < Colors.Palette->size() ? (*Colors.Palette)[index] : Colors.Palette->front());
      } else {
        colors.push_back(qRgb(bmi.U8(at + 2), bmi.U8(at + 1), bmi.U8(at)));
      }
    }
  }

  const bool alpha = Colors.Alpha && bpp == 32;
  QImage image(int(w), int(h), alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
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
          const uint32_t v = src[x * 2] | src[x * 2 + 1] << 8;
          c = qRgb(red.Of(v), green.Of(v), blue.Of(v));
          break;
        }
        case 24:
          c = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
          break;
        default:
          // Blended bitmaps come with their colours already weighted by
          // their alpha; a weight below a colour would be no colour at all.
          if (alpha) {
            c = qRgba(std::min(src[x * 4 + 2], src[x * 4 + 3]), std::min(src[x * 4 + 1], src[x * 4 + 3]),
                      std::min(src[x * 4], src[x * 4 + 3]), src[x * 4 + 3]);
          } else if (compression == 3) {
            const uint32_t v = src[x * 4] | src[x * 4 + 1] << 8 | src[x * 4 + 2] << 16 | uint32_t(src[x * 4 + 3]) << 24;
            c = qRgb(red.Of(v), green.Of(v), blue.Of(v));
          } else {
            c = qRgb(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
          }
          break;
      }
      dst[x] = c;
    }
  }
  if (BottomUp) *BottomUp = hRaw > 0;
  return image;
}

void Unmirror(QRectF& Dest, QImage& Image, QRectF& Source) {
  const bool mirrorX = (Dest.width() < 0) != (Source.width() < 0);
  const bool mirrorY = (Dest.height() < 0) != (Source.height() < 0);
  Dest = Dest.normalized();
  Source = Source.normalized();
  if (!mirrorX && !mirrorY) return;
  Image = Image.mirrored(mirrorX, mirrorY);
  if (mirrorX) Source.moveLeft(Image.width() - Source.right());
  if (mirrorY) Source.moveTop(Image.height() - Source.bottom());
}

void TPlayer::ShrinkByStretchMode(QRectF& Dest, QImage& Image, QRectF& Source) const {
  const QTransform total = Total();
  if (total.isRotating()) return;
  const QRectF mapped = total.mapRect(Dest);
  if (!std::isfinite(mapped.width()) || !std::isfinite(mapped.height())) return;
  // Whole pixels inside the bitmap only.
  if (!(Source.left() >= 0 && Source.top() >= 0 && Source.right() <= Image.width() &&
        Source.bottom() <= Image.height()))
    return;
  const QRect from = Source.toAlignedRect();
  if (QRectF(from) != Source || from.isEmpty()) return;
  const int w = int(std::clamp(std::round(mapped.width()), 1.0, double(from.width())));
  const int h = int(std::clamp(std::round(mapped.height()), 1.0, double(from.height())));
  if (w == from.width() && h == from.height()) return;
  // Each pixel of the device stands for a block of the bitmap's: black
  // kept over white (each bit and-ed), white over black (or-ed), the
  // block's first pixel alone, or their average.
  const QImage source = Image.convertToFormat(QImage::Format_RGB32);
  QImage out(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    const int y0 = from.top() + int(int64_t(y) * from.height() / h);
    const int y1 = std::max(y0 + 1, from.top() + int(int64_t(y + 1) * from.height() / h));
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int x0 = from.left() + int(int64_t(x) * from.width() / w);
      const int x1 = std::max(x0 + 1, from.left() + int(int64_t(x + 1) * from.width() / w));
      if (S.StretchMode == kColorOnColor) {
        line[x] = reinterpret_cast<const QRgb*>(source.constScanLine(y0))[x0];
        continue;
      }
      uint32_t all = S.StretchMode == kWhiteOnBlack ? 0 : 0xFFFFFFFF;
      uint64_t r = 0, g = 0, b = 0;
      for (int sy = y0; sy < y1; ++sy) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(sy));
        for (int sx = x0; sx < x1; ++sx) {
          all = S.StretchMode == kWhiteOnBlack ? all | row[sx] : all & row[sx];
          r += qRed(row[sx]), g += qGreen(row[sx]), b += qBlue(row[sx]);
        }
      }
      const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
      line[x] = S.StretchMode == kHalftone ? qRgb(int(r / n), int(g / n), int(b / n)) : (all | 0xFF000000u);
    }
  }
  Image = out;
  Source = QRectF(0, 0, w, h);
}

void TPlayer::DrawImage(QRectF Dest, QImage Image, QRectF Source, QPainter::CompositionMode Mode, double Opacity) {
  Unmirror(Dest, Image, Source);
  Prepare(false);
  P.setCompositionMode(Mode);
  P.setRenderHint(QPainter::Antialiasing, Mode == QPainter::CompositionMode_SourceOver);
  P.setOpacity(Opacity);
  const QTransform total = Total();
  const QRectF reach = Reach();
  const QRectF mapped = total.mapRect(Dest);
  if (mapped.width() >= 1 && mapped.height() >= 1 && mapped.width() <= 4 * reach.width() &&
      mapped.height() <= 4 * reach.height()) {
    P.drawImage(Dest, Image, Source);
  } else if (Source.width() != 0 && Source.height() != 0 && Dest.width() != 0 && Dest.height() != 0) {
    // Scaled far beyond the device, or mirrored into less than a pixel, an
    // image takes the painter seconds to draw; as a brush only its visible
    // part is filled.
    const QPolygonF area = CutToRect(total.map(QPolygonF(Dest)), reach);
    if (area.size() >= 3) {
      QBrush brush(Image);
      brush.setTransform(QTransform::fromTranslate(-Source.x(), -Source.y()) *
                         QTransform::fromScale(Dest.width() / Source.width(), Dest.height() / Source.height()) *
                         QTransform::fromTranslate(Dest.x(), Dest.y()) * total);
      P.setTransform(QTransform());
      P.setPen(Qt::NoPen);
      P.setBrush(brush);
      P.drawPolygon(area);
    }
  }
  P.setOpacity(1);
}

bool TPlayer::PlayDib(const TRecord& R) {
  if (!R.Has(0, 80)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(72), R.I32(76));
  const int32_t xSrc = R.I32(32), ySrc = R.I32(36), cxSrc = R.I32(40), cySrc = R.I32(44);
  const uint32_t offBmi = R.U32(48), cbBmi = R.U32(52), offBits = R.U32(56), cbBits = R.U32(60), rop = R.U32(68);
  if (!R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return false;
  if (!UsesSource(rop)) {
    FillRop(dest, rop);
    return true;
  }
  bool bottomUp = false;
  const auto image = DecodeDib(R, offBmi, cbBmi, offBits, cbBits, &bottomUp, DibColors(R.U32(64)));
  if (!image) {  // a kind of bitmap not known is passed over
    ++FPassedOver;
    return true;
  }
  // Source rows of a bottom-up bitmap are counted from its lower edge.
  const double srcTop = bottomUp ? double(image->height()) - ySrc - cySrc : double(ySrc);
  BlitImage(dest, *image, QRectF(xSrc, srcTop, cxSrc, cySrc), rop);
  return true;
}

bool TPlayer::PlaySetDibits(const TRecord& R) {
  if (!R.Has(0, 76)) return false;
  const int32_t xDest = R.I32(24), yDest = R.I32(28), xSrc = R.I32(32), ySrc = R.I32(36);
  const int64_t cx = R.I32(40), cy = R.I32(44);
  const uint32_t offBmi = R.U32(48), cbBmi = R.U32(52), offBits = R.U32(56), cbBits = R.U32(60);
  const int64_t start = R.U32(68), scans = R.U32(72);
  if (cbBmi < 12 || !R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return false;
  // Bands are read of the usual header only.
  const int32_t height = R.U32(offBmi) >= 40 ? R.I32(offBmi + 8) : 0;
  if (height > 0 && scans > 0 && scans < height) {
    // A band of the rows, counted from the lower edge: decoded as a bitmap
    // of its own height, then placed where its rows belong.
    QByteArray band(reinterpret_cast<const char*>(R.At(0)), int(R.Size()));
    for (int i = 0; i < 4; ++i) band[int(offBmi + 8 + uint32_t(i))] = char((uint32_t(scans) >> (8 * i)) & 0xFF);
    const TRecord banded(reinterpret_cast<const uchar*>(band.constData()), R.Size());
    const auto image = DecodeDib(banded, offBmi, cbBmi, offBits, cbBits, nullptr, DibColors(R.U32(64)));
    const int64_t lo = std::max<int64_t>(ySrc, start), hi = std::min<int64_t>(int64_t(ySrc) + cy, start + scans);
    if (!image) ++FPassedOver;
    if (!image || hi <= lo) return true;
    const QRectF source(xSrc, double(scans - (hi - start)), double(cx), double(hi - lo));
    BlitImage(QRectF(xDest, double(yDest + (int64_t(ySrc) + cy - hi)), double(cx), double(hi - lo)), *image, source,
              kSrcCopy);
    return true;
  }
  bool bottomUp = false;
  const auto image = DecodeDib(R, offBmi, cbBmi, offBits, cbBits, &bottomUp, DibColors(R.U32(64)));
  if (!image) {
    ++FPassedOver;
    return true;
  }
  const double srcTop = bottomUp ? double(image->height()) - ySrc - double(cy) : double(ySrc);
  BlitImage(QRectF(xDest, yDest, double(cx), double(cy)), *image, QRectF(xSrc, srcTop, double(cx), double(cy)),
            kSrcCopy);
  return true;
}

// A block transfer: a bitmap copied (and stretched) and combined with the
// page by the raster operation, or without a bitmap the page and the brush
// combined alone. Blending weighs the bitmap by its alpha instead.
bool TPlayer::PlayBlt(uint32_t Type, const TRecord& R) {
  const bool stretch = Type != EMR_BITBLT;
  if (!R.Has(0, stretch ? 108 : 100)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(32), R.I32(36));
  const uint32_t rop = R.U32(40);
  const uint32_t offBmi = R.U32(84), cbBmi = R.U32(88), offBits = R.U32(92), cbBits = R.U32(96);
  if (!R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return false;
  const bool blend = Type == EMR_ALPHABLEND || Type == EMR_TRANSPARENTBLT;
  if (!blend && (cbBmi == 0 || !UsesSource(rop))) {
    FillRop(dest, rop);
    return true;
  }
  TDibColors colors = DibColors(R.U32(80));
  colors.Alpha = Type == EMR_ALPHABLEND && (R.U8(43) & 1);
  const auto image = DecodeDib(R, offBmi, cbBmi, offBits, cbBits, nullptr, colors);
  if (!image) {
    ++FPassedOver;
    return true;
  }
  const double cx = stretch ? R.I32(100) : dest.width();
  const double cy = stretch ? R.I32(104) : dest.height();
  const QRectF source(R.I32(44), R.I32(48), cx, cy);
  if (Type == EMR_ALPHABLEND)
    DrawImage(dest, *image, source, QPainter::CompositionMode_SourceOver, R.U8(42) / 255.0);
  else if (Type == EMR_TRANSPARENTBLT)  // the colour in place of the operation is left out
    DrawImage(dest, ClearOf(*image, ColorOf(rop).rgb()), source);
  else
    BlitImage(dest, *image, source, rop);
  return true;
}

}  // namespace emfplay
