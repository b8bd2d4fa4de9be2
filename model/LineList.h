#pragma once

// The lines of an object file while it is read: positions in the one decoded
// text, so a file of two million lines costs a handful of allocations rather
// than one per line, and four bytes a line rather than a view's sixteen.
// Lines added later (a block closed for a file that ends inside it) are kept
// beside the text.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "LineIterator.h"

class TLineList {
 public:
  using const_iterator = TLineIterator<TLineList>;

  TLineList() = default;
  // Lines given one by one, each kept as it stands.
  TLineList(std::initializer_list<std::string> Lines);
  // The lines point into the list's own storage.
  TLineList(const TLineList&) = delete;
  TLineList& operator=(const TLineList&) = delete;

  // Takes Text and splits it: CR LF, CR and LF end a line, a break at the
  // very end adds no empty line, a NUL ends the text.
  void SetText(std::string Text);
  void clear();

  size_t size() const { return FTextLines + FAdded.size(); }
  bool empty() const { return size() == 0; }
  std::string_view operator[](size_t i) const { return i < FTextLines ? TextLine(i) : AddedLine(i); }
  std::string_view at(size_t i) const;
  std::string_view back() const { return (*this)[size() - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  void push_back(std::string Line);

  // The lines from 1 up to Line are read no more: the whole pages of their
  // text go back to the system, a few megabytes at a time, so a large file's
  // text shrinks as its objects grow. Line 0 stays readable. A line given
  // back must not be read again.
  void ReleaseBefore(size_t Line);

 private:
  std::string_view AddedLine(size_t i) const;  // i at or past the text's lines
  // Where line i of the text starts; entry FTextLines is where the text ends.
  size_t Start(size_t i) const { return FIsWide ? static_cast<size_t>(FWide[i]) : FStarts[i]; }
  // A line holds no CR or LF, so what stands between it and the start of the
  // next is its break: CR LF, CR, LF or nothing (the last line).
  std::string_view TextLine(size_t i) const {
    const size_t start = Start(i);
    size_t stop = Start(i + 1);
    if (stop > start && (FText[stop - 1] == '\n' || FText[stop - 1] == '\r')) {
      --stop;
      if (FText[stop] == '\n' && stop > start && FText[stop - 1] == '\r') --stop;
    }
    return std::string_view(FText.data() + start, stop - start);  // start <= stop <= the text's size
  }
  std::string FText;
  std::vector<uint32_t> FStarts;  // texts below 4 GiB
  std::vector<uint64_t> FWide;    // larger ones
  bool FIsWide = false;
  size_t FTextLines = 0;
  size_t FReleased = 0;  // where the text given back ends
  std::deque<std::string> FAdded;  // a deque never moves what it holds
};
