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

std::optional<QImage> DecodeDib(const TRecord& R, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                                bool* BottomUp) {
  if (cbBmi < 40 || !R.Has(offBmi, cbBmi) || !R.Has(offBits, cbBits)) return std::nullopt;
  const TRecord bmi(R.At(offBmi), cbBmi);
  const uint32_t hdrSize = bmi.U32(0);
  const int64_t w = bmi.I32(4);
  const int64_t hRaw = bmi.I32(8);
  const int bpp = bmi.U16(14);
  const uint32_t compression = bmi.U32(16);
  const uint32_t clrUsed = bmi.U32(32);
  if (hdrSize < 40 || hdrSize > cbBmi || w <= 0 || hRaw == 0 || hRaw == INT32_MIN) return std::nullopt;
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
  uint32_t maskOff = hdrSize;
  uint32_t greenMask = 0x03E0;
  if (compression == 3) {
    if (hdrSize == 40) {  // the three masks follow a short header
      if (!bmi.Has(40, 12)) return std::nullopt;
      greenMask = bmi.U32(44);
      maskOff += 12;
    } else {
      greenMask = bmi.U32(44);
    }
  }
  if (bpp <= 8) {
    uint64_t n = clrUsed ? clrUsed : (1u << bpp);
    n = std::min<uint64_t>(n, 1u << bpp);
    if (!bmi.Has(maskOff, n * 4)) return std::nullopt;
    for (uint64_t i = 0; i < n; ++i) {
      const uint32_t q = bmi.U32(uint32_t(maskOff + i * 4));
      colors.push_back(qRgb(int((q >> 16) & 0xFF), int((q >> 8) & 0xFF), int(q & 0xFF)));
    }
  }

  QImage image(int(w), int(h), QImage::Format_RGB32);
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
          const int v = src[x * 2] | src[x * 2 + 1] << 8;
          if (greenMask == 0x07E0)
            c = qRgb(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31);
          else
            c = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
          break;
        }
        case 24:
          c = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
          break;
        default:
          c = qRgb(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
          break;
      }
      dst[x] = c;
    }
  }
  if (BottomUp) *BottomUp = hRaw > 0;
  return image;
}

void TPlayer::DrawImage(const QRectF& Dest, const QImage& Image, const QRectF& Source) {
  Prepare(false);
  const QTransform total = Total();
  const QRectF reach = Reach();
  const QRectF mapped = total.mapRect(Dest);
  if (mapped.width() >= 1 && mapped.height() >= 1 && mapped.width() <= 4 * reach.width() &&
      mapped.height() <= 4 * reach.height()) {
    P.drawImage(Dest, Image, Source);
    return;
  }
  // Scaled far beyond the device, or mirrored into less than a pixel, an
  // image takes the painter seconds to draw; as a brush only its visible
  // part is filled.
  if (Source.width() == 0 || Source.height() == 0 || Dest.width() == 0 || Dest.height() == 0) return;
  const QPolygonF area = CutToRect(total.map(QPolygonF(Dest)), reach);
  if (area.size() < 3) return;
  QBrush brush(Image);
  brush.setTransform(QTransform::fromTranslate(-Source.x(), -Source.y()) *
                     QTransform::fromScale(Dest.width() / Source.width(), Dest.height() / Source.height()) *
                     QTransform::fromTranslate(Dest.x(), Dest.y()) * total);
  P.setTransform(QTransform());
  P.setPen(Qt::NoPen);
  P.setBrush(brush);
  P.drawPolygon(area);
}

bool TPlayer::PlayDib(const TRecord& R) {
  if (!R.Has(0, 80)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(72), R.I32(76));
  const int32_t xSrc = R.I32(32), ySrc = R.I32(36), cxSrc = R.I32(40), cySrc = R.I32(44);
  bool bottomUp = false;
  const auto image = DecodeDib(R, R.U32(48), R.U32(52), R.U32(56), R.U32(60), &bottomUp);
  if (!image) return false;
  // Source rows of a bottom-up bitmap are counted from its lower edge.
  const double srcTop = bottomUp ? double(image->height()) - ySrc - cySrc : double(ySrc);
  DrawImage(dest, *image, QRectF(xSrc, srcTop, cxSrc, cySrc));
  return true;
}

// A block transfer: a bitmap copied (and stretched), or without a bitmap the
// destination filled by the raster operation alone.
bool TPlayer::PlayBlt(uint32_t Type, const TRecord& R) {
  const bool stretch = Type == EMR_STRETCHBLT;
  if (!R.Has(0, stretch ? 108 : 100)) return false;
  const QRectF dest(R.I32(24), R.I32(28), R.I32(32), R.I32(36));
  const uint32_t rop = R.U32(40);
  const uint32_t cbBmi = R.U32(88);
  Prepare(false);
  if (cbBmi == 0) {
    switch (rop) {
      case 0x00000042:  // black
        P.fillRect(dest, Qt::black);
        break;
      case 0x00FF0062:  // white
        P.fillRect(dest, Qt::white);
        break;
      case 0x00F00021:  // the brush
        if (S.Brush.style() != Qt::NoBrush) P.fillRect(dest, S.Brush);
        break;
      default:
        break;
    }
    return true;
  }
  const auto image = DecodeDib(R, R.U32(84), cbBmi, R.U32(92), R.U32(96));
  if (!image) return false;
  const double cx = stretch ? R.I32(100) : dest.width();
  const double cy = stretch ? R.I32(104) : dest.height();
  DrawImage(dest, *image, QRectF(R.I32(44), R.I32(48), cx, cy));
  return true;
}

}  // namespace emfplay
