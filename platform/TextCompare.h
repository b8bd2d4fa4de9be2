#pragma once

#include <string>
#include <string_view>

// Text comparison of UTF-8 strings.

// Locale-aware comparison without regard to case (the user's locale): < 0, 0, > 0.
int CompareTextLocale(std::string_view a, std::string_view b);
// A key whose byte order (std::string comparison) is the order of
// CompareTextLocale: for sorting many texts, each converted once.
std::string LocaleSortKey(std::string_view utf8);
// Equality without regard to case (full Unicode case folding).
bool SameTextCI(std::string_view a, std::string_view b);
// The case-folded form used as a key where many look-ups without regard to
// case are made (indexes).
std::string FoldCase(std::string_view utf8);
