#include "PropertyOrder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "CodePage.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TextCompare.h"

namespace {

// Enough for the sequences of the types of a large file; past it the cache
// starts over rather than grow.
constexpr size_t kMaxCachedOrders = 1024;

void SortByLocale(std::vector<int>& order) {
  // The names are system code page texts; the locale order is that of their
  // UTF-8 form. The same few hundred names come again and again: each is
  // converted and keyed once.
  thread_local std::unordered_map<std::string, std::string> keys;
  if (keys.size() > 100000) keys.clear();  // before any key of this call is taken
  std::array<const std::string*, kPropArraySize> key{};
  for (const int i : order) {
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
}

}  // namespace

const std::vector<int>& TPropertyOrder::Of(bool Sorted) {
  int count = StrToIntDef(gPropNames[0], 0);
  count = std::clamp(count, 0, kPropArraySize - 1);
  FOrder.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) FOrder[static_cast<size_t>(i)] = i + 1;
  if (!Sorted || count < 2) return FOrder;

  size_t size = 0;
  for (int i = 1; i <= count; ++i) size += sizeof(uint32_t) + gPropNames[static_cast<size_t>(i)].size();
  FSequence.resize(size);
  char* at = FSequence.data();
  for (int i = 1; i <= count; ++i) {
    const std::string& name = gPropNames[static_cast<size_t>(i)];
    const uint32_t length = static_cast<uint32_t>(name.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + sizeof length, name.data(), name.size());
    at += sizeof length + name.size();
  }
  const auto known = FOrders.find(FSequence);
  if (known != FOrders.end()) {
    FOrder = known->second;
    return FOrder;
  }
  SortByLocale(FOrder);
  if (FOrders.size() >= kMaxCachedOrders) FOrders.clear();
  FOrders.emplace(FSequence, FOrder);
  return FOrder;
}
