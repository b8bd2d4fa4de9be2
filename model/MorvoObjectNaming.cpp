// Placeholder: type numbers and property names land here.
#include "MorvoObject.h"

int TisMorvoObject::GetTypeNumber() { return FTypeNr; }
std::string TisMorvoObject::GetPropertyName(int Id) { return std::to_string(Id); }
std::string TisMorvoObject::GetTypeNumberText() { return std::to_string(GetTypeNumber()); }
