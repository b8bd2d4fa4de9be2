// Text records: each character placed where its producer measured it.
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>

#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

constexpr uint32_t kEtoOpaque = 0x2;
constexpr uint32_t kEtoClipped = 0x4;
constexpr uint32_t kEtoNoRect = 0x100;
constexpr uint32_t kEtoPdy = 0x2000;
constexpr size_t kRawFontsKept = 8;

}  // namespace

const QRawFont& TPlayer::RawFontOf(const QFont& Font) {
  // Pages switch between a few fonts, and a raw font takes long to make:
  // the last few are kept, the latest used first.
  auto it = std::find_if(FRawFonts.begin(), FRawFonts.end(), [&](const auto& F) { return F.first == Font; });
  if (it == FRawFonts.end()) {
    if (FRawFonts.size() >= kRawFontsKept) FRawFonts.pop_back();
    FRawFonts.emplace_front(Font, QRawFont::fromFont(Font));
  } else if (it != FRawFonts.begin()) {
    FRawFonts.splice(FRawFonts.begin(), FRawFonts, it);
  }
  return FRawFonts.front().second;
}

bool TPlayer::PlayText(const TRecord& R, bool Wide) {
  if (!R.Has(0, 56)) return false;
  const uint64_t chars = R.U32(44);
  const uint32_t offString = R.U32(48);
  const uint32_t options = R.U32(52);
  const bool noRect = options & kEtoNoRect;
  // Text written without a bounding rectangle leaves it out.
  if (!R.Has(0, noRect ? 60 : 76)) return false;
  if (!R.Has(offString, chars * (Wide ? 2 : 1))) return false;
  // The advances: one for each character, or with vertical ones a pair.
  const uint32_t offDx = R.U32(noRect ? 56 : 72);
  const bool pdy = options & kEtoPdy;
  if (offDx != 0 && chars > 0 && !R.Has(offDx, chars * (pdy ? 8 : 4))) return false;
  QString text(qsizetype(chars), Qt::Uninitialized);
  for (uint64_t i = 0; i < chars; ++i)
    text[qsizetype(i)] = Wide ? QChar(R.U16(uint32_t(offString + i * 2))) : QChar(R.U8(uint32_t(offString + i)));

  QPointF ref = (S.TextAlign & 1) ? S.Current : Pt32(R, 36);
  const QTransform t = Total();
  const QRectF box = noRect ? QRectF() : Rect32(R, 56);
  if ((options & kEtoOpaque) && !noRect) {  // the rectangle takes the background colour
    Prepare(false);
    P.setCompositionMode(QPainter::CompositionMode_SourceOver);
    P.fillRect(box, S.BkColor);
  }
  if (text.isEmpty()) return true;

  // Text is set upright in its own space, scaled by the page's scale, so
  // mapping modes that count upwards do not mirror it; a world transform
  // that turns the page turns the text with it.
  const double scaleX = std::hypot(t.m11(), t.m12());
  const double scaleY = std::hypot(t.m21(), t.m22());
  if (scaleX <= 0 || scaleY <= 0) return true;
  QFont font = S.Font;
  const double height = S.FontHeight == 0 ? 16 : std::abs(S.FontHeight);
  font.setPixelSize(std::clamp(int(std::lround(height)), 1, 100000));
  const QFontMetricsF fm(font);

  // Positions along the baseline, in logical units. Without advances the
  // text runs as the font here sets it.
  std::vector<QPointF> at(size_t(chars) + 1);
  for (uint64_t i = 0; i < chars && offDx != 0; ++i) {
    const uint32_t off = uint32_t(offDx + i * (pdy ? 8 : 4));
    // Vertical advances run up the font, against the text space's y.
    at[i + 1] = at[i] + QPointF(R.I32(off), pdy ? -double(R.I32(off + 4)) : 0.0);
  }
  if (offDx == 0) at.back() = QPointF(fm.horizontalAdvance(text), 0);
  const double width = at.back().x();
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
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if ((options & kEtoClipped) && !noRect) {
    P.setClipRect(box, Qt::IntersectClip);
    FClipApplied.reset();
  }
  double turn = -S.FontEscapement / 10.0;
  const QTransform& w = S.World;
  if (w.m12() != 0 || w.m21() != 0) {
    const QPointF baseline = t.map(QPointF(1, 0)) - t.map(QPointF(0, 0));
    turn += std::atan2(baseline.y(), baseline.x()) * 180.0 / M_PI;
  }
  QTransform textSpace = QTransform::fromScale(scaleX, scaleY);
  if (turn != 0) textSpace = QTransform().rotate(turn) * textSpace;
  const QPointF origin = t.map(ref);
  P.setTransform(textSpace * QTransform::fromTranslate(origin.x(), origin.y()));
  P.setFont(font);
  if (S.BkOpaque) P.fillRect(QRectF(x, y - fm.ascent(), width, fm.height()), S.BkColor);

  // Characters that the producer gave no advance of their own belong to the
  // one before them: the tail of a ligature, an accent over its letter.
  // Such clusters are shaped as a whole; single characters are set as
  // glyphs of the font where it has them.
  struct TCluster {
    QPointF At;
    QString Text;
  };
  std::vector<TCluster> clusters;
  if (offDx == 0) clusters.push_back({QPointF(x, y), text});
  for (qsizetype i = 0; i < text.size() && offDx != 0; ++i) {
    const bool joins = i > 0 && at[size_t(i) + 1] == at[size_t(i)];
    if (joins && !clusters.empty())
      clusters.back().Text += text[i];
    else
      clusters.push_back({at[size_t(i)] + QPointF(x, y), QString(text[i])});
    // A pair of surrogates is one character, placed by its first half.
    if (text[i].isHighSurrogate() && i + 1 < text.size()) clusters.back().Text += text[++i];
  }

  const double deviceSize = font.pixelSize() * std::max(scaleX, scaleY);
  const double aspect = scaleX / scaleY;
  if (!(deviceSize <= kMaxGlyphPixels && aspect >= 1.0 / 64 && aspect <= 64)) {
    // Glyphs this large or this distorted are beyond the font engine's glyph
    // cache; their outlines are filled instead.
    QPainterPath outline;
    for (const TCluster& c : clusters) outline.addText(c.At, font, c.Text);
    P.fillPath(outline, S.TextColor);
  } else {
    P.setPen(S.TextColor);
    const QRawFont& raw = RawFontOf(font);
    // Mostly each cluster is one character, and the glyphs of all are
    // looked up at once.
    const QList<quint32> all =
        raw.isValid() && clusters.size() == size_t(text.size()) ? raw.glyphIndexesForString(text) : QList<quint32>();
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (size_t i = 0; i < clusters.size(); ++i) {
      const TCluster& c = clusters[i];
      // Glyph 0 stands for none: the font here may lack a character, and
      // the text engine then finds it in another font.
      quint32 glyph = 0;
      if (all.size() == text.size()) {
        glyph = all[qsizetype(i)];
      } else if (c.Text.size() == 1 && raw.isValid()) {
        const QList<quint32> one = raw.glyphIndexesForString(c.Text);
        if (one.size() == 1) glyph = one.front();
      }
      if (glyph != 0) {
        glyphs << glyph;
        positions << c.At;
      } else {
        P.drawText(c.At, c.Text);
      }
    }
    if (!glyphs.isEmpty()) {
      QGlyphRun run;
      run.setRawFont(raw);
      run.setGlyphIndexes(glyphs);
      run.setPositions(positions);
      P.drawGlyphRun(QPointF(0, 0), run);
    }
  }
  // The font's size is in logical units, so is the advance.
  if (S.TextAlign & 1) S.Current = ref + QPointF(width, 0);
  return true;
}

}  // namespace emfplay
