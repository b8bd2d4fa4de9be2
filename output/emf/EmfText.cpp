// Text records.
#include <QFontMetricsF>

#include "EmfPlayerCore.h"

namespace emfplay {

bool TPlayer::PlayText(const TRecord& R, bool Wide) {
  if (!R.Has(0, 56)) return false;
  const uint64_t chars = R.U32(44);
  const uint32_t offString = R.U32(48);
  const uint32_t options = R.U32(52);
  // Text written without a bounding rectangle (ETO_NO_RECT) leaves it out.
  if (!R.Has(0, (options & 0x100) ? 60 : 76)) return false;
  if (!R.Has(offString, chars * (Wide ? 2 : 1))) return false;
  QString text(qsizetype(chars), Qt::Uninitialized);
  for (uint64_t i = 0; i < chars; ++i)
    text[qsizetype(i)] = Wide ? QChar(R.U16(uint32_t(offString + i * 2))) : QChar(R.U8(uint32_t(offString + i)));

  QPointF ref = (S.TextAlign & 1) ? S.Current : Pt32(R, 36);
  const QTransform t = Total();
  if ((options & 0x2) && !(options & 0x100)) {  // ETO_OPAQUE: the rectangle takes the background colour
    Prepare(false);
    P.fillRect(Rect32(R, 56), S.BkColor);
  }
  if (text.isEmpty()) return true;

  // Text is set upright in its own space, scaled by the page's scale, so
  // mapping modes that count upwards do not mirror it.
  const double scaleX = std::hypot(t.m11(), t.m12());
  const double scaleY = std::hypot(t.m21(), t.m22());
  if (scaleX <= 0 || scaleY <= 0) return true;
  QFont font = S.Font;
  const double height = S.FontHeight == 0 ? 16 : std::abs(S.FontHeight);
  font.setPixelSize(std::clamp(int(std::lround(height)), 1, 100000));
  const QFontMetricsF fm(font);
  const double width = fm.horizontalAdvance(text);
  double x = 0, y = 0;
  if ((S.TextAlign & 6) == 6)
    x = -width / 2;
  else if (S.TextAlign & 2)
    x = -width;
  if ((S.TextAlign & 24) == 24)
    y = 0;
  else if (S.TextAlign & 8)
    y = -fm.descent();
  else
    y = fm.ascent();

  Prepare(false);
  QTransform textSpace = QTransform::fromScale(scaleX, scaleY);
  if (S.FontEscapement != 0) textSpace = QTransform().rotate(-S.FontEscapement / 10.0) * textSpace;
  const QPointF at = t.map(ref);
  P.setTransform(textSpace * QTransform::fromTranslate(at.x(), at.y()));
  P.setFont(font);
  if (S.BkOpaque) P.fillRect(QRectF(x, y - fm.ascent(), width, fm.height()), S.BkColor);
  const double deviceSize = font.pixelSize() * std::max(scaleX, scaleY);
  const double aspect = scaleX / scaleY;
  if (deviceSize <= kMaxGlyphPixels && aspect >= 1.0 / 64 && aspect <= 64) {
    P.setPen(S.TextColor);
    P.drawText(QPointF(x, y), text);
  } else {
    // Glyphs this large or this distorted are beyond the font engine's glyph
    // cache; their outlines are filled instead.
    QPainterPath outline;
    outline.addText(QPointF(x, y), font, text);
    P.fillPath(outline, S.TextColor);
  }
  // The font's size is in logical units, so is the advance.
  if (S.TextAlign & 1) S.Current = ref + QPointF(width, 0);
  return true;
}

}  // namespace emfplay
