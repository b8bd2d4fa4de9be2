#pragma once

#include <QStringList>

// The command-line switches that run without the main window ("/e", ...).
// Returns true when Args[1] is such a switch and it was carried out; the
// program then ends.
bool RunUnattendedCommand(const QStringList& Args);
