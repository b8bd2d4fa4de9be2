// Placeholder: the object-file reader lands here.
#include "MorvoObject.h"

int ReadObjectFile(const std::string&) { return -1; }
void LoadSettings() {}
