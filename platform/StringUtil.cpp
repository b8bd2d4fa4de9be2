#include "StringUtil.h"

#include <cstdio>

namespace {
bool IsBlankOrControl(unsigned char c) { return c <= ' '; }
}  // namespace

std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlankOrControl(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsBlankOrControl(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string TrimRight(std::string&& s) {
  size_t e = s.size();
  while (e > 0 && IsBlankOrControl(s[e - 1])) --e;
  s.resize(e);
  return std::move(s);
}

std::string Trim(std::string&& s) {
  std::string r = TrimRight(std::move(s));
  size_t b = 0;
  while (b < r.size() && IsBlankOrControl(r[b])) ++b;
  r.erase(0, b);
  return r;
}

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::optional<int32_t> TryStrToInt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  // Hexadecimal digits are a 32-bit pattern, negated after a "-".
  const uint64_t limit = hex ? 0xFFFF'FFFFull : (negative ? 0x8000'0000ull : 0x7FFF'FFFFull);
  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return std::nullopt;
    value = value * (hex ? 16 : 10) + digit;
    if (value > limit) return std::nullopt;
  }
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  return static_cast<int32_t>(bits);
}

int32_t StrToIntDef(std::string_view s, int32_t fallback) { return TryStrToInt(s).value_or(fallback); }

std::string FormatId4(int32_t id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4d", id);
  return buf;
}

size_t Pos(std::string_view needle, std::string_view haystack) {
  if (needle.empty()) return 0;
  const size_t p = haystack.find(needle);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string Copy(std::string_view s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(s.size())) return {};
  return std::string(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

void ReleaseLargeBuffer(std::string& Buffer) {
  if (Buffer.capacity() > 65536) std::string().swap(Buffer);
}

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
  if (from.empty()) return s;
  size_t p = s.find(from);
  if (p == std::string::npos) return s;
  std::string r;
  r.reserve(s.size());
  size_t last = 0;
  while (p != std::string::npos) {
    r.append(s, last, p - last);
    r.append(to);
    last = p + from.size();
    p = s.find(from, last);
  }
  r.append(s, last, std::string::npos);
  return r;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}
