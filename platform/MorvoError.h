#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the program. It carries the text that the user
// or the caller sees ("List index out of bounds (12)", "Invalid data type for
// 'X'", ...). Code that reports a failure by raising throws this; the callers
// that the program's design names catch it.
class EMorvoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
