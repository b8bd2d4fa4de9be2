#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Byte-string helpers with the program's classic text rules. "Blank or
// control" means any byte up to and including the space (0x00..0x20).

std::string Trim(std::string_view s);  // both ends
// Both ends, without a copy; inline, as readers trim every line with it.
inline std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// The same for a text no longer needed otherwise: trimmed in its own buffer.
std::string Trim(std::string&& s);
std::string TrimRight(std::string&& s);

// Letters a..z / A..Z only; other bytes (UTF-8 sequences) are left alone.
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);

// Integer conversion as the classic runtime does it, for every integer the
// program reads: leading blanks and one sign allowed, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x" (either case) taken as a 32-bit
// pattern ("$FFFFFFFF" is -1); nothing may follow the digits. Values outside
// 32 bits do not convert.
std::optional<int32_t> TryStrToInt(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t fallback);

// "%.4d": at least four digits, zero-filled; more when larger; a minus sign
// in front of the digits for negative numbers ("-001").
std::string FormatId4(int32_t id);

// 1-based helpers that mirror the positions the file format is described in.
// Pos returns the 1-based position of the first occurrence, 0 when absent.
size_t Pos(std::string_view needle, std::string_view haystack);
// Copy(s, index, count): 1-based, clipped to the string like the classic Copy.
std::string Copy(std::string_view s, int64_t index, int64_t count);

// A buffer kept for reuse that once took an extraordinarily long text gives
// its memory back.
void ReleaseLargeBuffer(std::string& Buffer);

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to);
std::vector<std::string> SplitLines(std::string_view text);  // CR LF, CR or LF
bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
