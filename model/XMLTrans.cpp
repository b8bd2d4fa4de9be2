// Placeholder: the character table lands here.
#include "XMLTrans.h"

std::string gXMLChars;
std::vector<std::string> gXMLCodes;
void LoadXMLTranslations() {}
void ParseXMLCodes(std::vector<std::string>&, std::string& Chars) { Chars.clear(); }
std::string TranslateXMLString(const std::string& S) { return S; }
