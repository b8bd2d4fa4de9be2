// Placeholder: the command-line export lands here.
#include "UnattendedCommands.h"

bool RunUnattendedCommand(const QStringList&) { return false; }
