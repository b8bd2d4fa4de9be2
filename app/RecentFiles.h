#pragma once

#include <QStringList>

// The recent-files list: at most 15 file names, most recent first, kept in
// the settings store under "software\Kelbrun\ZIB\MRU" and read afresh from it.
class TRecentFiles {
 public:
  static constexpr int kCapacity = 15;
  QStringList Items() const;
  int Count() const { return static_cast<int>(Items().size()); }
  // Puts FileName first (removing an older entry of the same name) and drops
  // entries beyond the capacity.
  void Add(const QString& FileName);
};
