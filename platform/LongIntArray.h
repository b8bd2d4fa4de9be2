#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A growable list of 32-bit integers: append, sort, remove duplicates, find
// the next occurrence, comma text. The design objects keep their property ids
// in one, the settings id lists are ones.
class TLongIntArray {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  int32_t operator[](int i) const { return FItems[static_cast<size_t>(i)]; }
  int32_t& operator[](int i) { return FItems[static_cast<size_t>(i)]; }

  void Clear() { FItems.clear(); }
  int Append(int32_t value);
  void Insert(int index, int32_t value);
  void Delete(int index);
  void Sort();              // ascending
  void RemoveDuplicates();  // sorted input: keeps the first of each run
  // Index of the first entry equal to value at or after start; -1 when none.
  int PosNext(int32_t value, int start = 0) const;
  // Ordered search on an ascending array: the index of the first of equal
  // entries, -1 when absent.
  int IndexOfSorted(int32_t value) const;
  bool ContainsSorted(int32_t value) const { return IndexOfSorted(value) >= 0; }
  std::string CommaText() const;  // "1,2,3"

  const std::vector<int32_t>& Items() const { return FItems; }
  std::vector<int32_t>& Items() { return FItems; }

 private:
  std::vector<int32_t> FItems;
};

// The program's own name for the array; it adds nothing.
class TLongIntArrayStub : public TLongIntArray {};
