// The character table of "XMLCodes.txt" that XML-style exports translate by.
#include "XMLTrans.h"

#include <array>

#include "Accessors.h"
#include "AppPaths.h"
#include "StringUtil.h"

std::string gXMLChars;
std::vector<std::string> gXMLCodes;

void LoadXMLTranslations() {
  // Read before anything is replaced: a missing file leaves the table as it was.
  std::vector<std::string> lines = LoadFileLines(ExecutableFolder() + "XMLCodes.txt");
  std::string chars;
  ParseXMLCodes(lines, chars);
  gXMLCodes = std::move(lines);
  gXMLChars = std::move(chars);
}

void ParseXMLCodes(std::vector<std::string>& List, std::string& Chars) {
  Chars.clear();
  std::vector<std::string> codes;
  codes.reserve(List.size());
  for (const auto& line : List) {
    // Column 12 is the character. A shorter line has none, and a byte outside
    // ASCII would also match inside the multi-byte characters of the UTF-8
    // object texts; both are left out so characters and codes stay paired.
    if (line.size() < 12) continue;
    const unsigned char c = static_cast<unsigned char>(line[11]);
    if (c >= 0x80) continue;
    Chars += static_cast<char>(c);
    codes.push_back(Trim(Copy(line, 1, 11)));
  }
  List = std::move(codes);
}

bool XMLTranslationChanges(std::string_view S) {
  // Blanks and control characters only, or none of the table's characters:
  // unchanged. An export asks for every name and value, so both are found in
  // one pass over the text, each byte marked once by a class of its own.
  constexpr unsigned char kInTable = 1, kPrintable = 2;
  static std::string tableOf;
  static std::array<unsigned char, 256> classOf = [] {
    std::array<unsigned char, 256> c{};
    for (size_t b = 0; b < c.size(); ++b) c[b] = b > ' ' ? kPrintable : 0;
    return c;
  }();
  if (gXMLChars.empty()) return false;
  if (tableOf != gXMLChars) {
    for (size_t b = 0; b < classOf.size(); ++b) classOf[b] = b > ' ' ? kPrintable : 0;
    for (const char c : gXMLChars) classOf[static_cast<unsigned char>(c)] |= kInTable;
    tableOf = gXMLChars;
  }
  // Eight bytes a step: most texts hold none of the characters and are read whole.
  const auto* p = reinterpret_cast<const unsigned char*>(S.data());
  const size_t n = S.size();
  unsigned char seen = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    seen |= static_cast<unsigned char>(classOf[p[i]] | classOf[p[i + 1]] | classOf[p[i + 2]] | classOf[p[i + 3]] |
                                       classOf[p[i + 4]] | classOf[p[i + 5]] | classOf[p[i + 6]] | classOf[p[i + 7]]);
    if (seen == (kInTable | kPrintable)) return true;
  }
  for (; i < n; ++i) seen |= classOf[p[i]];
  return seen == (kInTable | kPrintable);
}

std::string TranslateXMLString(const std::string& S) {
  if (!XMLTranslationChanges(S)) return S;
  std::string r = S;
  // Entry by entry on the result so far: a replacement is itself subject to
  // the entries after it, which is why "&" stands first in the table.
  for (size_t i = 0; i < gXMLChars.size() && i < gXMLCodes.size(); ++i) {
    const char c = gXMLChars[i];
    if (r.find(c) != std::string::npos) r = ReplaceAll(std::move(r), std::string_view(&c, 1), gXMLCodes[i]);
  }
  return r;
}
