#include "ShownText.h"

namespace {
QString CutWithEllipsis(const QString& Text, bool Cut) {
  qsizetype n = Text.size();
  if (n > kShownTextLimit) {
    n = kShownTextLimit;
    Cut = true;
  }
  if (!Cut) return Text;
  // A character outside the basic plane is kept whole or not at all.
  if (n > 0 && Text.at(n - 1).isHighSurrogate()) --n;
  return Text.left(n) + QChar(0x2026);
}
}  // namespace

QString ShownText(const QString& Text) { return CutWithEllipsis(Text, false); }

QString ShownTextOfUtf8(std::string_view Utf8) {
  // A character takes at most four bytes; the cut goes back to the start of one.
  constexpr size_t kMostBytes = 4 * static_cast<size_t>(kShownTextLimit);
  size_t n = Utf8.size();
  if (n > kMostBytes) {
    n = kMostBytes;
    while (n > 0 && (static_cast<unsigned char>(Utf8[n]) & 0xC0) == 0x80) --n;
  }
  return CutWithEllipsis(QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(n)), n < Utf8.size());
}
