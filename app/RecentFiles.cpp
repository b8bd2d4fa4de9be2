#include "RecentFiles.h"

#include <exception>

#include "NativeNames.h"
#include "Registry.h"

namespace {
std::string ValueName(int i) { return "File" + std::to_string(i + 1); }

QStringList ItemsOf(const TRegistry& Reg) {
  QStringList items;
  for (int i = 0; i < TRecentFiles::kCapacity; ++i) {
    std::string path;
    try {
      path = Reg.ReadString(ValueName(i));
    } catch (const std::exception&) {
      continue;  // a value someone stored with another type is no file name
    }
    if (path.empty()) continue;
    // The store keeps a name's bytes, UTF-8 or not.
    const QString item = NameFromNative(path);
    if (!items.contains(item)) items << item;
  }
  return items;
}
}  // namespace

QStringList TRecentFiles::Items() const {
  TRegistry reg;
  if (!reg.OpenKey(FKey, false)) return {};
  return ItemsOf(reg);
}

void TRecentFiles::Add(const QString& FileName) {
  if (FileName.isEmpty()) return;
  // A relative name would lead elsewhere once the working folder changes.
  const QString path = AbsoluteName(FileName);
  TRegistry reg;
  try {
    // One locked read-modify-write: two programs started together (a file
    // manager's verb on several files) both keep their entry.
    reg.UpdateKey(FKey, [&] {
      QStringList items = ItemsOf(reg);
      items.removeAll(path);
      items.prepend(path);
      while (items.size() > kCapacity) items.removeLast();
      for (int i = 0; i < kCapacity; ++i) {
        if (i < items.size())
          reg.WriteString(ValueName(i), NativeFromName(items[i]));
        else if (reg.ValueExists(ValueName(i)))
          reg.DeleteValue(ValueName(i));
      }
    });
  } catch (const std::exception&) {
    // A store that cannot be written keeps its old list; opening the file
    // that was being added must not fail for it.
  }
}
