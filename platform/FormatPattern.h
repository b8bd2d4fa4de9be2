#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The program's own text formatter for the patterns of "MorvoObject.cfg"
// (export templates, menu hints, translation-table entries). Directives:
//   "%" [index ":"] ["-"] [width] ["." precision] conversion
// with conversions s, d, u, x in either case, "*" taking width or precision
// from the arguments, "%%" for a percent sign. No user text ever reaches a C
// format function. A directive that does not fit its argument, an unknown
// conversion or a missing argument fails with EMorvoError naming the pattern.
using TFormatArg = std::variant<int64_t, std::string>;

std::string FormatPattern(std::string_view pattern, const std::vector<TFormatArg>& args);
