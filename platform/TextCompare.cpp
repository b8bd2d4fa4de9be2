#include "TextCompare.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <clocale>
#include <cstring>
#include <memory>

namespace {

// The collation the C library was set up with (the application sets the
// user's locale at start-up), else ICU's own default. The POSIX locale's
// collation orders ASCII by code point, which would put case back into the
// comparison; the root collation is the neutral choice there.
icu::Locale CollationLocale() {
  const char* posix = std::setlocale(LC_COLLATE, nullptr);
  if (posix && *posix && std::strcmp(posix, "C") != 0 && std::strcmp(posix, "POSIX") != 0 &&
      std::strncmp(posix, "C.", 2) != 0) {
    const icu::Locale named = icu::Locale::createCanonical(posix);
    if (!named.isBogus() && *named.getLanguage()) return named;
  }
  const icu::Locale& loc = icu::Locale::getDefault();
  const char* language = loc.getLanguage();
  if (loc.isBogus() || !language || !*language || std::strcmp(loc.getVariant(), "POSIX") == 0 ||
      std::strcmp(language, "c") == 0)
    return icu::Locale::getRoot();
  return loc;
}

// Collators are not thread-safe for changes and costly to build, so each
// thread keeps its own, made on first use.
icu::Collator* ThreadCollator() {
  thread_local std::unique_ptr<icu::Collator> collator;
  thread_local bool tried = false;
  if (!tried) {
    tried = true;
    UErrorCode err = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(CollationLocale(), err));
    if (U_FAILURE(err)) {
      err = U_ZERO_ERROR;
      collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), err));
    }
    if (U_FAILURE(err)) {
      collator.reset();
    } else if (collator) {
      // Secondary: accents count, case does not.
      collator->setStrength(icu::Collator::SECONDARY);
    }
  }
  return collator.get();
}

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

void AppendUtf8(std::string& out, UChar32 cp) {
  char buf[4];
  int32_t n = 0;
  UBool error = false;
  U8_APPEND(reinterpret_cast<uint8_t*>(buf), n, 4, cp, error);
  if (!error) out.append(buf, static_cast<size_t>(n));
}

// Folds the text from position i on, where non-ASCII bytes begin. Bytes
// that are not UTF-8 pass unchanged, so the fold never loses data.
void FoldTail(std::string_view s, size_t i, std::string& out) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const auto length = static_cast<int32_t>(s.size());
  auto pos = static_cast<int32_t>(i);
  while (pos < length) {
    const uint8_t b = p[pos];
    if (b < 0x80) {
      out.push_back(LowerAsciiChar(static_cast<char>(b)));
      ++pos;
      continue;
    }
    const int32_t start = pos;
    UChar32 cp;
    U8_NEXT(p, pos, length, cp);
    if (cp < 0) {
      out.append(s.data() + start, static_cast<size_t>(pos - start));
      continue;
    }
    UChar src[2];
    int32_t srcLen = 0;
    U16_APPEND_UNSAFE(src, srcLen, cp);
    UChar folded[8];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(folded, 8, src, srcLen, U_FOLD_CASE_DEFAULT, &err);
    if (U_FAILURE(err) || n > 8) {
      out.append(s.data() + start, static_cast<size_t>(pos - start));
      continue;
    }
    for (int32_t k = 0; k < n;) {
      UChar32 c;
      U16_NEXT(folded, k, n, c);
      AppendUtf8(out, c);
    }
  }
}

}  // namespace

int CompareTextLocale(std::string_view a, std::string_view b) {
  if (icu::Collator* collator = ThreadCollator()) {
    UErrorCode err = U_ZERO_ERROR;
    const UCollationResult r = collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                                     icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), err);
    if (U_SUCCESS(err)) return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  }
  const std::string fa = FoldCase(a), fb = FoldCase(b);
  const int r = fa.compare(fb);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string LocaleSortKey(std::string_view utf8) {
  if (icu::Collator* collator = ThreadCollator()) {
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    std::string key(64, '\0');
    int32_t n = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (n > static_cast<int32_t>(key.size())) {
      key.resize(static_cast<size_t>(n));
      n = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), n);
    }
    if (n > 0) {
      key.resize(static_cast<size_t>(n - 1));  // without the terminating zero
      return key;
    }
  }
  return FoldCase(utf8);
}

bool SameTextCI(std::string_view a, std::string_view b) {
  size_t i = 0;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if ((x | y) & 0x80) break;
    if (LowerAsciiChar(static_cast<char>(x)) != LowerAsciiChar(static_cast<char>(y))) return false;
  }
  // Nothing folds to nothing, so a text that ends first cannot match.
  if (i == n) return a.size() == b.size();
  // From the first non-ASCII byte on, the folded forms decide (lengths may
  // differ: "ß" folds to "ss").
  std::string fa, fb;
  FoldTail(a, i, fa);
  FoldTail(b, i, fb);
  return fa == fb;
}

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  for (; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (static_cast<unsigned char>(c) & 0x80) break;
    out.push_back(LowerAsciiChar(c));
  }
  if (i < utf8.size()) FoldTail(utf8, i, out);
  return out;
}
