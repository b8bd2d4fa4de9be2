#include "PropertyOrder.h"

#include <algorithm>

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

  // The names are system code page texts; the locale comparison takes UTF-8.
  std::vector<std::string> names(static_cast<size_t>(kPropArraySize));
  for (int i = 1; i <= count; ++i) names[static_cast<size_t>(i)] = SystemToUtf8(gPropNames[static_cast<size_t>(i)]);
  // Each name goes in before the first one not smaller than itself, so names
  // that compare equal come out with the later index first.
  std::stable_sort(order.begin(), order.end(), [&names](int a, int b) {
    const int c = CompareTextLocale(names[static_cast<size_t>(a)], names[static_cast<size_t>(b)]);
    if (c != 0) return c < 0;
    return a > b;
  });
  return order;
}
