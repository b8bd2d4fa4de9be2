// The text formatter of the configuration patterns. It walks the pattern
// itself and converts every argument by hand, so nothing a user wrote in
// "MorvoObject.cfg" ever reaches a C format function.

#include "FormatPattern.h"

#include <cstdint>
#include <limits>

#include "MorvoError.h"

namespace {

// Larger widths or precisions are taken for a typing error rather than
// allocating megabytes of blanks.
constexpr int64_t kMaxField = 1 << 20;

[[noreturn]] void Fail(std::string_view pattern) {
  throw EMorvoError("Format '" + std::string(pattern) + "' invalid or incompatible with argument");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Texts are UTF-8, so width and precision count characters, not bytes: a
// character starts at every byte that is not a continuation byte.
size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string_view CharPrefix(std::string_view s, size_t chars) {
  size_t seen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == chars) return s.substr(0, i);
      ++seen;
    }
  }
  return s;
}

std::string Decimal(uint64_t v) {
  if (v == 0) return "0";
  std::string r;
  while (v > 0) {
    r.insert(r.begin(), static_cast<char>('0' + v % 10));
    v /= 10;
  }
  return r;
}

std::string Hex(uint64_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (v == 0) return "0";
  std::string r;
  while (v > 0) {
    r.insert(r.begin(), kDigits[v % 16]);
    v /= 16;
  }
  return r;
}

// Negative numbers in the 32-bit range are shown as their 32-bit pattern
// (-1 is FFFFFFFF, as the integers of the configuration have always been);
// only numbers beyond it use all 64 bits.
uint64_t UnsignedPattern(int64_t v) {
  if (v < 0 && v >= std::numeric_limits<int32_t>::min()) return static_cast<uint32_t>(static_cast<int32_t>(v));
  return static_cast<uint64_t>(v);
}

std::string ZeroPad(std::string digits, int64_t precision) {
  if (precision > static_cast<int64_t>(digits.size()))
    digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
  return digits;
}

class TFormatter {
 public:
  TFormatter(std::string_view pattern, const std::vector<TFormatArg>& args) : FPattern(pattern), FArgs(args) {}

  std::string Run() {
    std::string out;
    size_t i = 0;
    while (i < FPattern.size()) {
      const char c = FPattern[i++];
      if (c != '%') {
        out += c;
        continue;
      }
      if (i < FPattern.size() && FPattern[i] == '%') {
        out += '%';
        ++i;
        continue;
      }
      out += Directive(i);
    }
    return out;
  }

 private:
  const TFormatArg& NextArg() {
    if (FNext >= FArgs.size()) Fail(FPattern);
    return FArgs[FNext++];
  }

  int64_t NextInt() {
    const TFormatArg& a = NextArg();
    if (!std::holds_alternative<int64_t>(a)) Fail(FPattern);
    return std::get<int64_t>(a);
  }

  // Reads the digits at i; false when there are none.
  bool Number(size_t& i, int64_t& value) {
    if (i >= FPattern.size() || !IsDigit(FPattern[i])) return false;
    value = 0;
    while (i < FPattern.size() && IsDigit(FPattern[i])) {
      value = value * 10 + (FPattern[i] - '0');
      if (value > kMaxField) Fail(FPattern);
      ++i;
    }
    return true;
  }

  // One directive; i points after its "%".
  std::string Directive(size_t& i) {
    bool left = false;
    int64_t width = -1;
    int64_t precision = -1;

    // Digits followed by ":" are an argument index; otherwise they are the width.
    int64_t number = 0;
    const size_t start = i;
    if (Number(i, number)) {
      if (i < FPattern.size() && FPattern[i] == ':') {
        FNext = static_cast<size_t>(number);
        ++i;
      } else {
        i = start;
      }
    }
    if (i < FPattern.size() && FPattern[i] == '-') {
      left = true;
      ++i;
    }
    if (i < FPattern.size() && FPattern[i] == '*') {
      ++i;
      width = NextInt();
      if (width < -kMaxField) Fail(FPattern);  // also keeps the negation below defined
      if (width < 0) {
        left = true;
        width = -width;
      }
      if (width > kMaxField) Fail(FPattern);
    } else {
      Number(i, width);
    }
    if (i < FPattern.size() && FPattern[i] == '.') {
      ++i;
      if (i < FPattern.size() && FPattern[i] == '*') {
        ++i;
        precision = NextInt();
        if (precision > kMaxField) Fail(FPattern);
      } else if (!Number(i, precision)) {
        precision = 0;
      }
    }
    if (i >= FPattern.size()) Fail(FPattern);
    const char conversion = FPattern[i++];

    std::string text;
    switch (conversion) {
      case 's':
      case 'S': {
        const TFormatArg& a = NextArg();
        if (!std::holds_alternative<std::string>(a)) Fail(FPattern);
        std::string_view s = std::get<std::string>(a);
        if (precision >= 0) s = CharPrefix(s, static_cast<size_t>(precision));
        text = s;
        break;
      }
      case 'd':
      case 'D': {
        const int64_t v = NextInt();
        const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        text = ZeroPad(Decimal(magnitude), precision);
        if (v < 0) text.insert(0, 1, '-');
        break;
      }
      case 'u':
      case 'U':
        text = ZeroPad(Decimal(UnsignedPattern(NextInt())), precision);
        break;
      case 'x':
      case 'X':
        text = ZeroPad(Hex(UnsignedPattern(NextInt())), precision);
        break;
      default:
        Fail(FPattern);
    }

    const size_t chars = CharCount(text);
    if (width > static_cast<int64_t>(chars)) {
      const std::string pad(static_cast<size_t>(width) - chars, ' ');
      text = left ? text + pad : pad + text;
    }
    return text;
  }

  std::string_view FPattern;
  const std::vector<TFormatArg>& FArgs;
  size_t FNext = 0;
};

}  // namespace

std::string FormatPattern(std::string_view pattern, const std::vector<TFormatArg>& args) {
  return TFormatter(pattern, args).Run();
}
