#include "LongIntArray.h"

#include <algorithm>

int TLongIntArray::Append(int32_t value) {
  FItems.push_back(value);
  return Count() - 1;
}

void TLongIntArray::Insert(int index, int32_t value) { FItems.insert(FItems.begin() + index, value); }

void TLongIntArray::Delete(int index) { FItems.erase(FItems.begin() + index); }

void TLongIntArray::Sort() { std::sort(FItems.begin(), FItems.end()); }

void TLongIntArray::RemoveDuplicates() { FItems.erase(std::unique(FItems.begin(), FItems.end()), FItems.end()); }

int TLongIntArray::PosNext(int32_t value, int start) const {
  for (int i = std::max(start, 0); i < Count(); ++i)
    if (FItems[static_cast<size_t>(i)] == value) return i;
  return -1;
}

int TLongIntArray::IndexOfSorted(int32_t value) const {
  const auto it = std::lower_bound(FItems.begin(), FItems.end(), value);
  if (it == FItems.end() || *it != value) return -1;
  return static_cast<int>(it - FItems.begin());
}

std::string TLongIntArray::CommaText() const {
  std::string r;
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (i) r += ',';
    r += std::to_string(FItems[i]);
  }
  return r;
}
