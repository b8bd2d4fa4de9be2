#pragma once

// The lines of an object file while it is read: views into the one decoded
// text, so a file of two million lines costs a handful of allocations rather
// than one per line. Lines added later (a block closed for a file that ends
// inside it) are kept beside the text.

#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class TLineList {
 public:
  using const_iterator = std::vector<std::string_view>::const_iterator;

  TLineList() = default;
  // Lines given one by one, each kept as it stands.
  TLineList(std::initializer_list<std::string> Lines);
  // The views point into the list's own storage.
  TLineList(const TLineList&) = delete;
  TLineList& operator=(const TLineList&) = delete;

  // Takes Text and splits it: CR LF, CR and LF end a line, a break at the
  // very end adds no empty line, a NUL ends the text.
  void SetText(std::string Text);
  void clear();

  size_t size() const { return FLines.size(); }
  bool empty() const { return FLines.empty(); }
  std::string_view operator[](size_t i) const { return FLines[i]; }
  std::string_view at(size_t i) const { return FLines.at(i); }
  std::string_view back() const { return FLines.back(); }
  const_iterator begin() const { return FLines.begin(); }
  const_iterator end() const { return FLines.end(); }

  void push_back(std::string Line);

 private:
  std::string FText;
  std::vector<std::string_view> FLines;
  std::deque<std::string> FAdded;  // a deque never moves what it holds
};
