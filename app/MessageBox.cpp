// Placeholder: message boxes land here.
#include "MessageBox.h"

int ShowMessageBoxW(const std::string&, const std::string&, unsigned) { return IDOK; }
