// Placeholder: the block and property-line grammar lands here.
#include "MorvoObject.h"

bool TisMorvoObject::ParseHeader(const std::string&) { return true; }
int TisMorvoObject::ReadObject(TStringList&, int Index) { return Index + 1; }
int TisMorvoObject::ReadPropertyBlock(TStringList&, int Start) { return Start; }
int TisMorvoObject::ParseLine(const std::string&) { return -1; }
void TisMorvoObject::AddProperty(int, const std::string&) {}
int TisMorvoObject::ParseLinkList(const std::string&) { return 0; }
std::string TisMorvoObject::ExtractQuoted(const std::string&, const std::string&, int) { return {}; }
void TisMorvoObject::SortPropertyLines() {}
void TisMorvoObject::RenumberDuplicates() {}
