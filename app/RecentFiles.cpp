#include "RecentFiles.h"

#include <exception>

#include "Registry.h"

namespace {
std::string ValueName(int i) { return "File" + std::to_string(i + 1); }
}  // namespace

QStringList TRecentFiles::Items() const {
  QStringList items;
  TRegistry reg;
  if (!reg.OpenKey(FKey, false)) return items;
  for (int i = 0; i < kCapacity; ++i) {
    std::string path;
    try {
      path = reg.ReadString(ValueName(i));
    } catch (const std::exception&) {
      continue;  // a value someone stored with another type is no file name
    }
    if (path.empty()) continue;
    const QString item = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    if (!items.contains(item)) items << item;
  }
  return items;
}

void TRecentFiles::Add(const QString& FileName) {
  if (FileName.isEmpty()) return;
  QStringList items = Items();
  items.removeAll(FileName);
  items.prepend(FileName);
  while (items.size() > kCapacity) items.removeLast();
  TRegistry reg;
  if (!reg.OpenKey(FKey, true)) return;
  try {
    for (int i = 0; i < kCapacity; ++i) {
      if (i < items.size())
        reg.WriteString(ValueName(i), items[i].toStdString());
      else if (reg.ValueExists(ValueName(i)))
        reg.DeleteValue(ValueName(i));
    }
  } catch (const std::exception&) {
    // A store that cannot be written keeps its old list; opening the file
    // that was being added must not fail for it.
  }
}
