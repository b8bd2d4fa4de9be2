#pragma once

// The stored property lines of one object: the number of lines, where each
// ends and the lines back to back, all in one block. A file holds hundreds of
// thousands of objects of a handful of short lines each; a string per line
// cost more in bookkeeping than the lines themselves.

#include <algorithm>
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "ByteBlock.h"
#include "LineIterator.h"

class TPropertyLines {
 public:
  using const_iterator = TLineIterator<TPropertyLines>;

  TPropertyLines() = default;
  TPropertyLines(std::initializer_list<std::string_view> Lines);
  TPropertyLines& operator=(const std::vector<std::string>& Lines);
  TPropertyLines& operator=(std::initializer_list<std::string_view> Lines);

  size_t size() const { return FData.empty() ? 0 : Load(0); }
  bool empty() const { return size() == 0; }
  std::string_view operator[](size_t i) const {
    const size_t start = Start(i);
    return FData.view().substr(TextAt(size()) + start, End(i) - start);
  }
  std::string_view front() const { return (*this)[0]; }
  std::string_view back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  void clear();
  // Room for Lines lines of Bytes bytes in all.
  void reserve(size_t Lines, size_t Bytes);
  // Gives back the room that no line uses.
  void shrink_to_fit();

  void push_back(std::string_view Line);
  // Appends Head followed by Tail as one line.
  void push_back(std::string_view Head, std::string_view Tail);
  void erase(const_iterator Line);
  // Appends Text to line i.
  void AppendTo(size_t i, std::string_view Text);
  // Puts Line in place of line i.
  void Replace(size_t i, std::string_view Line);
  // Orders the lines as Less orders their indexes, lines that Less finds
  // equal keeping their order. Order (room for every line) receives the
  // index each line had before.
  template <class TLessIndex>
  void StableSort(TLessIndex Less, uint32_t* Order);

  std::vector<std::string> ToList() const { return {begin(), end()}; }
  friend bool operator==(const TPropertyLines& a, const std::vector<std::string>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend bool operator==(const TPropertyLines& a, const TPropertyLines& b) { return a.FData == b.FData; }

 private:
  static constexpr size_t kFewLines = 32;
  // Rebuilds the text in the order of Order (indexes of every line).
  void Reorder(const uint32_t* Order);
  uint32_t Load(size_t At) const {
    uint32_t v;
    std::memcpy(&v, FData.data() + At, 4);
    return v;
  }
  void Store(size_t At, size_t Value) {
    const auto v = static_cast<uint32_t>(Value);
    std::memcpy(FData.data() + At, &v, 4);
  }
  // Where the lines start when there are n of them.
  static size_t TextAt(size_t n) { return 4 + 4 * n; }
  // Where line i ends and starts, counted from the first line's start.
  size_t End(size_t i) const { return Load(4 + 4 * i); }
  size_t Start(size_t i) const { return i == 0 ? 0 : End(i - 1); }
  // Adds Delta to the ends of lines From on.
  void ShiftEnds(size_t From, int64_t Delta);
  // Count (4 bytes), the end of each line (4 bytes each), the lines; empty
  // when there are none.
  TByteBlock FData;
};

template <class TLessIndex>
void TPropertyLines::StableSort(TLessIndex Less, uint32_t* Order) {
  const size_t n = size();
  for (size_t i = 0; i < n; ++i) Order[i] = static_cast<uint32_t>(i);
  size_t firstOut = 1;
  while (firstOut < n && !Less(Order[firstOut], Order[firstOut - 1])) ++firstOut;
  if (firstOut >= n) return;
  if (n <= kFewLines) {
    // Objects have a handful of lines: an insertion sort needs no buffer.
    for (size_t i = firstOut; i < n; ++i) {
      const uint32_t line = Order[i];
      size_t j = i;
      for (; j > 0 && Less(line, Order[j - 1]); --j) Order[j] = Order[j - 1];
      Order[j] = line;
    }
  } else {
    std::stable_sort(Order, Order + n, Less);
  }
  Reorder(Order);
}
