// Placeholder: property value decoding lands here.
#include "MorvoObject.h"

std::string TisMorvoObject::GetPropertyText(int) { return {}; }
std::string TisMorvoObject::GetSpecialText(int&, const std::string&, const std::string&) { return {}; }
std::string TisMorvoObject::GetMultiLineText(const std::string&, const std::string&) { return {}; }
bool TisMorvoObject::ContainsText(const std::string&, bool) { return false; }
std::string LookupSpecial(int, const std::string&) { return {}; }
TLongIntArray ParseIdList(const std::string&) { return {}; }
TStringList SplitCommaText(const std::string&) { return {}; }
std::string CollectPropertyValues(const std::vector<int>&) { return {}; }
std::string CollectObjectValues(int) { return {}; }
