// Placeholder: configuration, settings and version accessors land here.
#include "Accessors.h"

std::string ReadCfgString(const std::string&, const std::string&) { return {}; }
std::string ReadRegString(const std::string&) { return {}; }
void WriteRegString(const std::string&, const std::string&) {}
std::string GetFileVersionString(const std::string&) { return "Error retrieving version"; }
bool RegTextToBool(const std::string&, bool Fallback) { return Fallback; }
std::string BoolToRegText(bool Value) { return Value ? "-1" : "0"; }
