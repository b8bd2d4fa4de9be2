// Text records: each character placed where its producer measured it.
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QRawFont>
#include <QtEndian>

#include "EmfPlayerCore.h"

namespace emfplay {

namespace {

constexpr uint32_t kTaRtlReading = 0x100;
constexpr uint32_t kEtoOpaque = 0x2;
constexpr uint32_t kEtoClipped = 0x4;
constexpr uint32_t kEtoRtlReading = 0x80;
constexpr uint32_t kEtoNoRect = 0x100;
constexpr uint32_t kEtoSmallChars = 0x200;
constexpr uint32_t kEtoPdy = 0x2000;
constexpr size_t kRawFontsKept = 8;
constexpr uint32_t kGmAdvanced = 2;

// Where the font puts the upper edge of its strike-out line above the
// baseline, and how thick; the text engine's own guess is a third of the
// ascent.
void StrikeOutOf(const QRawFont& Raw, double& Position, double& Width) {
  const QByteArray table = Raw.isValid() ? Raw.fontTable("OS/2") : QByteArray();
  if (table.size() < 30 || Raw.unitsPerEm() <= 0) return;
  const double unit = Raw.pixelSize() / Raw.unitsPerEm();
  const int16_t size = qFromBigEndian<int16_t>(table.constData() + 26);
  const int16_t position = qFromBigEndian<int16_t>(table.constData() + 28);
  if (size <= 0) return;
  Position = position * unit;
  Width = size * unit;
}

// Count characters of two bytes each at Offset. The caller has checked that
// they lie in the record.
QString WideCharsAt(const TRecord& R, uint32_t Offset, uint64_t Count) {
  QString text(qsizetype(Count), Qt::Uninitialized);
  for (uint64_t i = 0; i < Count; ++i) text[qsizetype(i)] = QChar(R.U16(uint32_t(Offset + i * 2)));
  return text;
}

// The code page of a font's character set; none where the bytes are the
// characters' own codes (symbol fonts).
const char* CodePageOf(uint8_t Charset) {
  switch (Charset) {
    case 0:  // ANSI
    case 1:  // the system's default, Western on the systems that write these pages
      return "windows-1252";
    case 77:
      return "macintosh";
    case 128:
      return "windows-932";
    case 129:
      return "windows-949";
    case 134:
      return "windows-936";
    case 136:
      return "windows-950";
    case 161:
      return "windows-1253";
    case 162:
      return "windows-1254";
    case 163:
      return "windows-1258";
    case 177:
      return "windows-1255";
    case 178:
      return "windows-1256";
    case 186:
      return "windows-1257";
    case 204:
      return "windows-1251";
    case 222:
      return "windows-874";
    case 238:
      return "windows-1250";
    case 255:  // OEM
      return "ibm-437";
    default:
      return nullptr;
  }
}

bool DoubleByte(uint8_t Charset) { return Charset == 128 || Charset == 129 || Charset == 134 || Charset == 136; }

}  // namespace

std::span<const TRecordEntry> TPlayer::TextRecords() {
  static constexpr TRecordEntry kRecords[] = {
      {EMR_EXTTEXTOUTW, Call<&TPlayer::PlayText>},
      {EMR_EXTTEXTOUTA, Call<&TPlayer::PlayText>},
      {EMR_POLYTEXTOUTW, Call<&TPlayer::PlayText>},
      {EMR_POLYTEXTOUTA, Call<&TPlayer::PlayText>},
      {EMR_SMALLTEXTOUT, Call<&TPlayer::PlayText>},
      {EMR_SETTEXTALIGN,
       [](TPlayer& Self, uint32_t, const TRecord& R) {
         if (!R.Has(8, 4)) return false;
         Self.S.TextAlign = R.U32(8);
         return true;
       }},
  };
  return kRecords;
}

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

QString TPlayer::BytesAsText(const uchar* Bytes, uint64_t Count, std::vector<uint32_t>* Starts) const {
  const auto* chars = reinterpret_cast<const char*>(Bytes);
  const char* codePage = CodePageOf(S.FontCharset);
  auto& decoder = FDecoders[S.FontCharset];
  if (codePage && !decoder) decoder.emplace(codePage);
  if (!decoder || !decoder->isValid()) {  // the bytes are the characters' codes
    if (Starts)
      for (uint32_t i = 0; i < Count; ++i) Starts->push_back(i);
    return QString::fromLatin1(chars, qsizetype(Count));
  }
  decoder->resetState();
  if (!DoubleByte(S.FontCharset)) {
    const QString text = decoder->decode(QByteArrayView(chars, qsizetype(Count)));
    if (Starts)
      for (qsizetype i = 0; i < text.size(); ++i) Starts->push_back(uint32_t(std::min<uint64_t>(uint64_t(i), Count)));
    return text;
  }
  // A character of one or two bytes: each fed alone, so the byte where
  // each character begins is known.
  QString text;
  uint32_t start = 0;
  for (uint32_t i = 0; i < Count; ++i) {
    const QString part = decoder->decode(QByteArrayView(chars + i, 1));
    if (part.isEmpty()) continue;
    text += part;
    if (Starts) Starts->insert(Starts->end(), size_t(part.size()), start);
    start = i + 1;
  }
  text += decoder->decode(QByteArrayView());
  if (Starts) Starts->resize(size_t(text.size()), start < Count ? start : uint32_t(Count ? Count - 1 : 0));
  return text;
}

std::optional<TPlayer::TTextRun> TPlayer::ReadTextRun(const TRecord& R, uint32_t Base, bool Wide,
                                                      bool MayOmitBox) const {
  // At Base: the reference point, the count of characters, where the string
  // lies, the options, the bounding rectangle and where the advances lie.
  if (!R.Has(Base, 20)) return std::nullopt;
  TTextRun run;
  run.Ref = Pt32(R, Base);
  const uint64_t chars = R.U32(Base + 8);
  const uint32_t offString = R.U32(Base + 12);
  run.Options = R.U32(Base + 16);
  // Text written without a bounding rectangle may leave it out.
  const bool omitted = MayOmitBox && (run.Options & kEtoNoRect);
  if (!R.Has(Base, omitted ? 24 : 40)) return std::nullopt;
  if (!R.Has(offString, chars * (Wide ? 2 : 1))) return std::nullopt;
  if (!(run.Options & kEtoNoRect)) run.Box = Rect32(R, Base + 20);
  // The advances: one for each character, or with vertical ones a pair.
  const uint32_t offDx = R.U32(Base + (omitted ? 20 : 36));
  const bool pdy = run.Options & kEtoPdy;
  if (offDx != 0 && chars > 0 && !R.Has(offDx, chars * (pdy ? 8 : 4))) return std::nullopt;
  std::vector<uint32_t> starts;
  run.Text = Wide ? WideCharsAt(R, offString, chars) : BytesAsText(R.At(offString), chars, &starts);
  if (offDx != 0) {
    run.At.resize(size_t(chars) + 1);
    for (uint64_t i = 0; i < chars; ++i) {
      const uint32_t off = uint32_t(offDx + i * (pdy ? 8 : 4));
      // Vertical advances run up the font, against the text space's y.
      run.At[i + 1] = run.At[i] + QPointF(R.I32(off), pdy ? -double(R.I32(off + 4)) : 0.0);
    }
    // Advances are given a byte each: a character of several bytes
    // advances by all of theirs.
    if (!Wide) {
      std::vector<QPointF> at;
      at.reserve(starts.size() + 1);
      for (uint32_t start : starts) at.push_back(run.At[start]);
      at.push_back(run.At.back());
      run.At.swap(at);
    }
  }
  return run;
}

bool TPlayer::PlayText(uint32_t Type, const TRecord& R) {
  if (Type == EMR_SMALLTEXTOUT) {
    // A string without advances, its rectangle only when it has one, its
    // characters of one byte on request.
    if (!R.Has(0, 36)) return false;
    TTextRun run;
    run.Ref = Pt32(R, 8);
    const uint64_t chars = R.U32(16);
    run.Options = R.U32(20);
    const bool small = run.Options & kEtoSmallChars;
    uint32_t offString = 36;
    if (!(run.Options & kEtoNoRect)) {
      if (!R.Has(36, 16)) return false;
      run.Box = Rect32(R, 36);
      offString += 16;
    }
    if (!R.Has(offString, chars * (small ? 1 : 2))) return false;
    run.Text = small ? BytesAsText(R.At(offString), chars, nullptr) : WideCharsAt(R, offString, chars);
    DrawTextRun(run);
    return true;
  }
  const bool wide = Type == EMR_EXTTEXTOUTW || Type == EMR_POLYTEXTOUTW;
  const bool advanced = R.U32(24) == kGmAdvanced;
  if (Type == EMR_EXTTEXTOUTW || Type == EMR_EXTTEXTOUTA) {
    auto run = ReadTextRun(R, 36, wide, true);
    if (!run) return false;
    run->Advanced = advanced;
    DrawTextRun(*run);
    return true;
  }
  // Several strings, each with its rectangle; all must fit before any is drawn.
  if (!R.Has(0, 40)) return false;
  const uint64_t strings = R.U32(36);
  if (!R.Has(40, strings * 40)) return false;
  std::vector<TTextRun> runs;
  for (uint64_t k = 0; k < strings; ++k) {
    auto run = ReadTextRun(R, uint32_t(40 + k * 40), wide, false);
    if (!run) return false;
    run->Advanced = advanced;
    runs.push_back(std::move(*run));
  }
  for (const TTextRun& run : runs) DrawTextRun(run);
  return true;
}

void TPlayer::DrawTextRun(const TTextRun& Run) {
  const QString& text = Run.Text;
  const uint32_t options = Run.Options;
  QPointF ref = (S.TextAlign & 1) ? S.Current : Run.Ref;
  const QTransform t = Total();
  if ((options & kEtoOpaque) && Run.Box) {  // the rectangle takes the background colour
    Prepare(false);
    P.setCompositionMode(QPainter::CompositionMode_SourceOver);
    P.fillRect(*Run.Box, S.BkColor);
  }
  if (text.isEmpty()) return;

  // Text is set upright in its own space, scaled by the page's scale, so
  // mapping modes that count upwards do not mirror it; a world transform
  // that turns the page turns the text with it.
  const double scaleX = std::hypot(t.m11(), t.m12());
  const double scaleY = std::hypot(t.m21(), t.m22());
  if (scaleX <= 0 || scaleY <= 0) return;
  QFont font = S.Font;
  const bool underline = font.underline(), strikeOut = font.strikeOut();
  font.setUnderline(false);
  font.setStrikeOut(false);
  double height = S.FontHeight == 0 ? 16 : std::abs(S.FontHeight);
  font.setPixelSize(std::clamp(int(std::lround(height)), 1, 100000));
  if (S.FontHeight > 0) {
    // A positive height is that of the character cell, ascent and descent
    // together; the characters' own height is less.
    const QFontMetricsF cell(font);
    if (cell.ascent() + cell.descent() > 0) height = height * height / (cell.ascent() + cell.descent());
    font.setPixelSize(std::clamp(int(std::lround(height)), 1, 100000));
  }
  const QFontMetricsF fm(font);
  // A width of its own stretches or squeezes the font: the text space's
  // x runs in the font's units, each "stretch" logical units long.
  double stretch = 1;
  if (S.FontWidth > 0 && fm.averageCharWidth() > 0)
    stretch = std::clamp(S.FontWidth / fm.averageCharWidth(), 1.0 / 64, 64.0);

  // Positions along the baseline, in logical units. Without advances the
  // text runs as the font here sets it.
  const bool advances = !Run.At.empty();
  const double width = advances ? Run.At.back().x() : fm.horizontalAdvance(text) * stretch;
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
  x /= stretch;
  auto place = [&](const QPointF& At) { return QPointF(At.x() / stretch + x, At.y() + y); };

  Prepare(false);
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if ((options & kEtoClipped) && Run.Box) {
    P.setClipRect(*Run.Box, Qt::IntersectClip);
    FClipApplied.reset();
  }
  // Where the characters stand along the escapement, in the text space of
  // their orientation.
  QTransform glyphPlaces;
  QTransform textSpace;
  if (Run.Advanced) {
    // The characters are set in the page's own units and the world
    // transform turns, mirrors and shears them like any figure; they stand
    // upright in the page's sense of up. Each turns by its orientation,
    // the line of them runs along the escapement.
    const QTransform upright = PageTransform().m22() < 0 ? QTransform::fromScale(1, -1) : QTransform();
    auto turned = [&](double Tenths) {
      return QTransform::fromScale(stretch, 1) * QTransform().rotate(-Tenths / 10.0) * upright *
             QTransform::fromTranslate(ref.x(), ref.y()) * t;
    };
    textSpace = turned(S.FontOrientation);
    if (S.FontOrientation != S.FontEscapement) glyphPlaces = turned(S.FontEscapement) * textSpace.inverted();
  } else {
    // Upright whatever the transforms, turned by the escapement and by the
    // world transform's turn.
    double turn = -S.FontEscapement / 10.0;
    const QTransform& w = S.World;
    if (w.m12() != 0 || w.m21() != 0) {
      const QPointF baseline = t.map(QPointF(1, 0)) - t.map(QPointF(0, 0));
      turn += std::atan2(baseline.y(), baseline.x()) * 180.0 / M_PI;
    }
    textSpace = QTransform::fromScale(scaleX, scaleY);
    if (turn != 0) textSpace = QTransform().rotate(turn) * textSpace;
    textSpace = QTransform::fromScale(stretch, 1) * textSpace;
    const QPointF origin = t.map(ref);
    textSpace *= QTransform::fromTranslate(origin.x(), origin.y());
  }
  P.setTransform(textSpace);
  P.setFont(font);
  if (S.BkOpaque) P.fillRect(QRectF(x, y - fm.ascent(), width / stretch, fm.height()), S.BkColor);

  // Characters that the producer gave no advance of their own belong to the
  // one before them: the tail of a ligature, an accent over its letter.
  // Such clusters are shaped as a whole; single characters are set as
  // glyphs of the font where it has them.
  struct TCluster {
    QPointF At;
    QString Text;
  };
  std::vector<TCluster> clusters;
  // Text read right to left is laid out and shaped by the text engine as a
  // whole, ending where its advances end: the letters of Arabic join only so.
  const bool rightToLeft = (S.TextAlign & kTaRtlReading) || (options & kEtoRtlReading);
  if (rightToLeft) clusters.push_back({QPointF(x + width / stretch - fm.horizontalAdvance(text), y), text});
  if (!advances && !rightToLeft) clusters.push_back({QPointF(x, y), text});
  for (qsizetype i = 0; i < text.size() && advances && !rightToLeft; ++i) {
    const bool joins = i > 0 && Run.At[size_t(i) + 1] == Run.At[size_t(i)];
    if (joins && !clusters.empty())
      clusters.back().Text += text[i];
    else
      clusters.push_back({place(Run.At[size_t(i)]), QString(text[i])});
    // A pair of surrogates is one character, placed by its first half.
    if (text[i].isHighSurrogate() && i + 1 < text.size()) clusters.back().Text += text[++i];
  }

  if (!glyphPlaces.isIdentity())
    for (TCluster& c : clusters) c.At = glyphPlaces.map(c.At);
  const double deviceSize = font.pixelSize() * std::max(scaleX * stretch, scaleY);
  const double aspect = scaleX * stretch / scaleY;
  // Underline and strike-out run under the whole text, spaces included.
  double strikePos = fm.strikeOutPos() + fm.lineWidth() / 2, strikeWidth = fm.lineWidth();
  if (!(deviceSize <= kMaxGlyphPixels && aspect >= 1.0 / 64 && aspect <= 64)) {
    // Glyphs this large or this distorted are beyond the font engine's glyph
    // cache; their outlines are filled instead.
    QPainterPath outline;
    for (const TCluster& c : clusters) outline.addText(c.At, font, c.Text);
    P.fillPath(outline, S.TextColor);
  } else {
    P.setPen(S.TextColor);
    const QRawFont& raw = RawFontOf(font);
    StrikeOutOf(raw, strikePos, strikeWidth);
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
        P.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
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
  // Both positions are of the lines' upper edges.
  if (underline) P.fillRect(QRectF(x, y + fm.underlinePos(), width / stretch, fm.lineWidth()), S.TextColor);
  if (strikeOut) P.fillRect(QRectF(x, y - strikePos, width / stretch, strikeWidth), S.TextColor);
  // The font's size is in logical units, so is the advance.
  if (S.TextAlign & 1) S.Current = ref + QPointF(width, 0);
}

}  // namespace emfplay
