#include "CodePage.h"

#include <langinfo.h>
#include <unicode/ucnv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "MorvoError.h"

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// How many of the bytes from p on, in whole blocks of sixteen, are ASCII:
// files are nearly all ASCII, and a block is tested in a few instructions.
size_t AsciiBlocks(const unsigned char* p, const unsigned char* end) {
  size_t n = 0;
#if defined(__SSE2__)
  while (end - p - static_cast<ptrdiff_t>(n) >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
    if (_mm_movemask_epi8(v) != 0) break;
    n += 16;
  }
#else
  (void)p;
  (void)end;
#endif
  return n;
}

// What we learnt about one character-set name. Single-byte sets get a table
// of the UTF-8 form of every byte, so whole files decode in a plain loop.
struct TCodec {
  enum class TKind { Utf8, Utf16Le, SingleByte, Other };
  std::string icuName;
  TKind kind = TKind::Other;
  bool asciiIdentity = false;
  unsigned maxUtf8Len = 0;
  std::array<std::array<char, 4>, 256> utf8{};
  std::array<uint8_t, 256> utf8Len{};
};

using TConverterPtr = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

TConverterPtr OpenConverter(const std::string& name) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(name.c_str(), &err);
  if (U_FAILURE(err)) cnv = nullptr;
  return TConverterPtr(cnv, &ucnv_close);
}

char* PutUtf8(char* o, uint32_t cp) {
  if (cp < 0x80) {
    *o++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *o++ = static_cast<char>(0xC0 | (cp >> 6));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = static_cast<char>(0xE0 | (cp >> 12));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *o++ = static_cast<char>(0xF0 | (cp >> 18));
    *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return o;
}

void BuildSingleByteTable(UConverter* cnv, TCodec& codec) {
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  codec.asciiIdentity = true;
  for (unsigned b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    UChar out[4];
    err = U_ZERO_ERROR;
    ucnv_reset(cnv);
    const int32_t n = ucnv_toUChars(cnv, out, 4, &in, 1, &err);
    uint32_t cp = 0xFFFD;  // a byte the set leaves undefined
    if (U_SUCCESS(err) && n == 1 && (out[0] < 0xD800 || out[0] > 0xDFFF)) cp = out[0];
    if (U_SUCCESS(err) && n == 2 && out[0] >= 0xD800 && out[0] <= 0xDBFF && out[1] >= 0xDC00 && out[1] <= 0xDFFF)
      cp = 0x10000 + ((out[0] - 0xD800u) << 10) + (out[1] - 0xDC00u);
    char* end = PutUtf8(codec.utf8[b].data(), cp);
    codec.utf8Len[b] = static_cast<uint8_t>(end - codec.utf8[b].data());
    if (codec.utf8Len[b] > codec.maxUtf8Len) codec.maxUtf8Len = codec.utf8Len[b];
    if (b < 0x80 && cp != b) codec.asciiIdentity = false;
  }
}

std::shared_ptr<const TCodec> MakeCodec(const std::string& name) {
  // ICU opens its default converter for an empty name; here that names nothing.
  if (name.empty() || name.find('\0') != std::string::npos) return nullptr;
  TConverterPtr cnv = OpenConverter(name);
  if (!cnv) return nullptr;
  auto codec = std::make_shared<TCodec>();
  UErrorCode err = U_ZERO_ERROR;
  const char* icuName = ucnv_getName(cnv.get(), &err);
  codec->icuName = U_SUCCESS(err) && icuName ? icuName : name;
  switch (ucnv_getType(cnv.get())) {
    case UCNV_UTF8:
      codec->kind = TCodec::TKind::Utf8;
      break;
    case UCNV_UTF16_LittleEndian:
      codec->kind = TCodec::TKind::Utf16Le;
      break;
    default:
      if (ucnv_getMaxCharSize(cnv.get()) == 1 && ucnv_getMinCharSize(cnv.get()) == 1) {
        codec->kind = TCodec::TKind::SingleByte;
        BuildSingleByteTable(cnv.get(), *codec);
      }
      break;
  }
  return codec;
}

// Names are looked up once; the reader asks for the same one per file.
std::shared_ptr<const TCodec> FindCodec(const std::string& name) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::shared_ptr<const TCodec>> cache;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = cache.find(name);
    if (it != cache.end()) return it->second;
  }
  auto codec = MakeCodec(name);
  std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() > 256) cache.clear();  // odd names typed by hand must not pile up
  cache.emplace(name, codec);
  return codec;
}

std::shared_ptr<const TCodec> RequireCodec(const std::string& name) {
  auto codec = FindCodec(name);
  if (!codec) throw EMorvoError("Unknown character set '" + name + "'");
  return codec;
}

// Converts between two ICU converters with a pivot buffer; ill-formed or
// unmappable input becomes each converter's substitute.
std::string ConvertWithIcu(UConverter* to, UConverter* from, std::string_view input) {
  std::string out;
  out.resize(input.size() + input.size() / 2 + 16);
  char* target = out.data();
  const char* source = input.data();
  const char* sourceLimit = input.data() + input.size();
  UChar pivot[1024];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  bool reset = true;
  for (;;) {
    UErrorCode err = U_ZERO_ERROR;
    ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, sourceLimit, pivot, &pivotSource, &pivotTarget,
                   pivot + 1024, reset, true, &err);
    reset = false;
    if (err == U_BUFFER_OVERFLOW_ERROR) {
      const size_t used = static_cast<size_t>(target - out.data());
      out.resize(out.size() * 2);
      target = out.data() + used;
      continue;
    }
    if (U_FAILURE(err)) throw EMorvoError("Cannot convert the text (" + std::string(u_errorName(err)) + ")");
    break;
  }
  out.resize(static_cast<size_t>(target - out.data()));
  return out;
}

std::string DecodeSingleByte(const TCodec& codec, std::string_view bytes) {
  // The exact size first: a buffer of the worst case (three bytes per byte
  // for most sets) would take three times the file, every page of it touched.
  size_t size = 0;
  {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
      if (codec.asciiIdentity) {
        const size_t run = AsciiBlocks(p, end);
        size += run;
        p += run;
        while (end - p >= 8) {
          uint64_t w;
          std::memcpy(&w, p, 8);
          if (w & 0x8080808080808080ULL) break;
          size += 8;
          p += 8;
        }
        if (p == end) break;
      }
      size += codec.utf8Len[*p++];
    }
  }
  std::string out;
  out.resize(size);
  char* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    if (codec.asciiIdentity) {
      const size_t run = AsciiBlocks(p, end);
      std::memcpy(o, p, run);
      o += run;
      p += run;
      while (end - p >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ULL) break;
        std::memcpy(o, p, 8);
        o += 8;
        p += 8;
      }
      if (p == end) break;
    }
    const unsigned b = *p++;
    const uint8_t len = codec.utf8Len[b];
    const char* u = codec.utf8[b].data();
    o[0] = u[0];
    if (len > 1) {
      o[1] = u[1];
      if (len > 2) {
        o[2] = u[2];
        if (len > 3) o[3] = u[3];
      }
    }
    o += len;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

bool IsUtf8Name(const std::string& name) {
  const auto codec = FindCodec(name);
  return codec && codec->kind == TCodec::TKind::Utf8;
}

}  // namespace

bool IsKnownCodePage(const std::string& name) { return FindCodec(name) != nullptr; }

std::string DecodeToUtf8(std::string_view bytes, const std::string& codePageName) {
  const auto codec = RequireCodec(codePageName);
  switch (codec->kind) {
    case TCodec::TKind::Utf8:
      if (IsValidUtf8(bytes)) return std::string(bytes);
      break;
    case TCodec::TKind::Utf16Le:
      return Utf16LeToUtf8(bytes);
    case TCodec::TKind::SingleByte:
      return DecodeSingleByte(*codec, bytes);
    case TCodec::TKind::Other:
      break;
  }
  TConverterPtr from = OpenConverter(codec->icuName);
  TConverterPtr to = OpenConverter("UTF-8");
  if (!from || !to) throw EMorvoError("Unknown character set '" + codePageName + "'");
  return ConvertWithIcu(to.get(), from.get(), bytes);
}

std::string EncodeFromUtf8(std::string_view utf8, const std::string& codePageName) {
  const auto codec = RequireCodec(codePageName);
  if (codec->kind == TCodec::TKind::Utf8) return std::string(utf8);
  TConverterPtr from = OpenConverter("UTF-8");
  TConverterPtr to = OpenConverter(codec->icuName);
  if (!from || !to) throw EMorvoError("Unknown character set '" + codePageName + "'");
  if (codec->kind == TCodec::TKind::SingleByte) {
    // As the classic conversion does: best-fit letters where the set has
    // them, "?" for the rest.
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setFallback(to.get(), true);
    ucnv_setSubstChars(to.get(), "?", 1, &err);
  }
  return ConvertWithIcu(to.get(), from.get(), utf8);
}

namespace {

// The UTF-8 form of the units of a UTF-16LE text (a lone surrogate as
// U+FFFD), written to o when Write is set; returns its length either way,
// so one pass sizes the text exactly and the other fills it.
template <bool Write>
size_t Utf16LeUnitsToUtf8(const unsigned char* p, size_t units, char* o) {
  size_t length = 0;
  auto put = [&](uint32_t cp) {
    if constexpr (Write) {
      char* const end = PutUtf8(o + length, cp);
      length = static_cast<size_t>(end - o);
    } else {
      length += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    }
  };
  size_t i = 0;
  while (i < units) {
    if constexpr (kLittleEndian) {
#if defined(__SSE2__)
      // Runs of ASCII, sixteen units at a time, then four.
      const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
      while (units - i >= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i + 16));
        const __m128i any = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF) break;
        if constexpr (Write) _mm_storeu_si128(reinterpret_cast<__m128i*>(o + length), _mm_packus_epi16(a, b));
        length += 16;
        i += 16;
      }
#endif
      while (units - i >= 4) {
        uint64_t w;
        std::memcpy(&w, p + 2 * i, 8);
        if (w & 0xFF80FF80FF80FF80ULL) break;
        if constexpr (Write) {
          o[length] = static_cast<char>(p[2 * i]);
          o[length + 1] = static_cast<char>(p[2 * i + 2]);
          o[length + 2] = static_cast<char>(p[2 * i + 4]);
          o[length + 3] = static_cast<char>(p[2 * i + 6]);
        }
        length += 4;
        i += 4;
      }
      if (i >= units) break;
    }
    const uint32_t u = p[2 * i] | (static_cast<uint32_t>(p[2 * i + 1]) << 8);
    ++i;
    if (u < 0xD800 || u > 0xDFFF) {
      put(u);
    } else if (u <= 0xDBFF && i < units) {
      const uint32_t v = p[2 * i] | (static_cast<uint32_t>(p[2 * i + 1]) << 8);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        ++i;
        put(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
      } else {
        put(0xFFFD);
      }
    } else {
      put(0xFFFD);  // a lone surrogate
    }
  }
  return length;
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
  const size_t units = bytes.size() / 2;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  // The exact size first: a buffer of the worst case would take one and a
  // half times the file, every page of it touched.
  std::string out;
  out.resize(Utf16LeUnitsToUtf8<false>(p, units, nullptr));
  out.resize(Utf16LeUnitsToUtf8<true>(p, units, out.data()));
  return out;
}

std::string SystemCodePageName() {
  // Without a locale set (or in the plain "C" locale) the C library reports
  // ASCII; desktops run UTF-8, and ASCII is a subset of it.
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || !*codeset) return "UTF-8";
  const std::string name(codeset);
  if (name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII" || name == "C" || name == "POSIX")
    return "UTF-8";
  if (!IsKnownCodePage(name)) return "UTF-8";
  return name;
}

std::string SystemToUtf8(std::string_view bytes) {
  const std::string name = SystemCodePageName();
  if (IsUtf8Name(name)) return std::string(bytes);
  return DecodeToUtf8(bytes, name);
}

std::string Utf8ToSystem(std::string_view utf8) {
  const std::string name = SystemCodePageName();
  if (IsUtf8Name(name)) return std::string(utf8);
  return EncodeFromUtf8(utf8, name);
}

bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    while (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if (w & 0x8080808080808080ULL) break;
      p += 8;
    }
    if (p == end) break;
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    size_t len;
    uint32_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < len) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (size_t k = 2; k < len; ++k)
      if ((p[k] & 0xC0) != 0x80) return false;
    p += len;
  }
  return true;
}

std::string FileTextToSystem(std::string bytes, const std::function<std::string()>& fallbackCodePage) {
  if (IsValidUtf8(bytes)) return bytes;
  std::string codePage = fallbackCodePage ? fallbackCodePage() : std::string();
  if (!IsKnownCodePage(codePage)) codePage = "windows-1252";
  return Utf8ToSystem(DecodeToUtf8(bytes, codePage));
}
