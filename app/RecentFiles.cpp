// Placeholder: the recent-files store lands here.
#include "RecentFiles.h"

QStringList TRecentFiles::Items() const { return {}; }
void TRecentFiles::Add(const QString&) {}
