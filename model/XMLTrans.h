#pragma once

#include <string>
#include <string_view>
#include <vector>

// The character table of "XMLCodes.txt": column 12 the character, columns 1
// to 11 its replacement.
extern std::string gXMLChars;
extern std::vector<std::string> gXMLCodes;

// (Re)loads the table; fails with EMorvoError naming the path when the file
// cannot be read.
void LoadXMLTranslations();
// Splits loaded lines into the characters and replacement texts.
void ParseXMLCodes(std::vector<std::string>& List, std::string& Chars);
// Whether TranslateXMLString gives S back other than it is.
bool XMLTranslationChanges(std::string_view S);
// S with the table's characters replaced, entry by entry in table order.
std::string TranslateXMLString(const std::string& S);
