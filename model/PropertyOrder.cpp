#include "PropertyOrder.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "CodePage.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TextCompare.h"

std::vector<int> FillPropertyOrder(bool Sorted) {
  int count = StrToIntDef(gPropNames[0], 0);
  count = std::clamp(count, 0, kPropArraySize - 1);
  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i + 1;
  if (!Sorted || count < 2) return order;

  // The names are system code page texts; the locale order is that of their
  // UTF-8 form. An export sorts the names of every object, and the same few
  // hundred names come again and again: each is converted and keyed once.
  thread_local std::unordered_map<std::string, std::string> keys;
  if (keys.size() > 100000) keys.clear();  // before any key of this call is taken
  std::array<const std::string*, kPropArraySize> key{};
  for (int i = 1; i <= count; ++i) {
    const std::string& name = gPropNames[static_cast<size_t>(i)];
    auto found = keys.find(name);
    if (found == keys.end()) found = keys.emplace(name, LocaleSortKey(SystemToUtf8(name))).first;
    key[static_cast<size_t>(i)] = &found->second;
  }
  // Each name goes in before the first one not smaller than itself, so names
  // that compare equal come out with the later index first.
  std::stable_sort(order.begin(), order.end(), [&key](int a, int b) {
    const int c = key[static_cast<size_t>(a)]->compare(*key[static_cast<size_t>(b)]);
    if (c != 0) return c < 0;
    return a > b;
  });
  return order;
}
