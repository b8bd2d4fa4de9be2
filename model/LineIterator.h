#pragma once
// A random-access iterator over a list of lines that hands out each line as
// a view by its index: the line lists keep offsets, not views, so there is
// no element to point at.

#include <compare>
#include <cstddef>
#include <iterator>
#include <string_view>

template <class TList>
class TLineIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = std::string_view;
  using difference_type = std::ptrdiff_t;
  using pointer = const std::string_view*;
  using reference = std::string_view;

  TLineIterator() = default;
  TLineIterator(const TList* Lines, size_t Index) : FLines(Lines), FIndex(Index) {}
  std::string_view operator*() const { return (*FLines)[FIndex]; }
  std::string_view operator[](difference_type n) const { return (*FLines)[FIndex + static_cast<size_t>(n)]; }
  TLineIterator& operator++() {
    ++FIndex;
    return *this;
  }
  TLineIterator operator++(int) {
    TLineIterator before = *this;
    ++FIndex;
    return before;
  }
  TLineIterator& operator--() {
    --FIndex;
    return *this;
  }
  TLineIterator operator--(int) {
    TLineIterator before = *this;
    --FIndex;
    return before;
  }
  TLineIterator& operator+=(difference_type n) {
    FIndex += static_cast<size_t>(n);
    return *this;
  }
  TLineIterator& operator-=(difference_type n) {
    FIndex -= static_cast<size_t>(n);
    return *this;
  }
  friend TLineIterator operator+(TLineIterator it, difference_type n) { return it += n; }
  friend TLineIterator operator+(difference_type n, TLineIterator it) { return it += n; }
  friend TLineIterator operator-(TLineIterator it, difference_type n) { return it -= n; }
  friend difference_type operator-(const TLineIterator& a, const TLineIterator& b) {
    return static_cast<difference_type>(a.FIndex) - static_cast<difference_type>(b.FIndex);
  }
  friend bool operator==(const TLineIterator& a, const TLineIterator& b) { return a.FIndex == b.FIndex; }
  friend auto operator<=>(const TLineIterator& a, const TLineIterator& b) { return a.FIndex <=> b.FIndex; }
  size_t Index() const { return FIndex; }

 private:
  const TList* FLines = nullptr;
  size_t FIndex = 0;
};
