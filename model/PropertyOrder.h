#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// The order in which the property view arrays are shown: indexes 1..count of
// gPropNames, sorted by the user's locale without regard to case (equal names
// in descending index order) when Sorted, else 1..count as filled.
//
// The order depends on nothing but the names in their order, and the objects
// of one type mostly show the same names, so the order of each sequence of
// names met is kept. A caller keeps one of these for as long as it shows
// objects (the grid, an export).
class TPropertyOrder {
 public:
  // The order of the arrays as they are now; valid until the next call.
  const std::vector<int>& Of(bool Sorted);

 private:
  std::vector<int> FOrder;
  std::string FSequence;                                      // the names of the arrays, each with its length before it
  std::unordered_map<std::string, std::vector<int>> FOrders;  // by sequence
};
