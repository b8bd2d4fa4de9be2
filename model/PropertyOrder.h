#pragma once

#include <vector>

// The order in which the property view arrays are shown: indexes 1..count of
// gPropNames, sorted by the user's locale without regard to case (equal names
// in descending index order) when Sorted, else 1..count as filled.
std::vector<int> FillPropertyOrder(bool Sorted);
// The same order, valid until the next call of either.
const std::vector<int>& PropertyOrder(bool Sorted);
