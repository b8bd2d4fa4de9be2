#pragma once

#include <QStringList>
#include <string>

// The recent-files list: at most 15 file names, most recent first, kept in
// the settings store under "software\Kelbrun\ZIB\MRU" and read afresh from it.
// Layout of the key: string values "File1" (most recent) to "File15", one
// full path each; other values of the key are ignored and left alone.
class TRecentFiles {
 public:
  static constexpr int kCapacity = 15;
  explicit TRecentFiles(std::string Key = "software\\Kelbrun\\ZIB\\MRU") : FKey(std::move(Key)) {}
  QStringList Items() const;
  int Count() const { return static_cast<int>(Items().size()); }
  // Puts FileName first (removing an older entry of the same name) and drops
  // entries beyond the capacity, in one locked update of the store. A relative
  // name is made full against the working folder. Names compare exactly: this
  // file system tells letter cases apart. A store that cannot be written
  // keeps its list.
  void Add(const QString& FileName);
  const std::string& Key() const { return FKey; }

 private:
  std::string FKey;
};
