#include "LineList.h"

#include <cstring>
#include <limits>
#include <stdexcept>

TLineList::TLineList(std::initializer_list<std::string> Lines) {
  for (const std::string& line : Lines) push_back(line);
}

void TLineList::clear() {
  std::vector<uint32_t>().swap(FStarts);
  std::vector<uint64_t>().swap(FWide);
  FTextLines = 0;
  FIsWide = false;
  FAdded.clear();
  std::string().swap(FText);
}

std::string_view TLineList::at(size_t i) const {
  if (i >= size()) throw std::out_of_range("TLineList::at");
  return (*this)[i];
}

void TLineList::push_back(std::string Line) { FAdded.push_back(std::move(Line)); }

void TLineList::SetText(std::string Text) {
  clear();
  FText = std::move(Text);
  std::string_view text = FText;
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const char* const begin = text.data();
  const char* p = begin;
  const char* const end = p + text.size();
  size_t breaks = 0;
  for (const char* q = p; (q = static_cast<const char*>(std::memchr(q, '\n', static_cast<size_t>(end - q)))); ++q)
    ++breaks;
  FIsWide = text.size() > std::numeric_limits<uint32_t>::max();
  if (FIsWide)
    FWide.reserve(breaks + 2);
  else
    FStarts.reserve(breaks + 2);
  // A line ends at the first CR or LF; a CR directly followed by LF ends it
  // once. CRs are rare inside lines, so the next of each kind is found once
  // and kept until the scan passes it.
  const char* lf = nullptr;
  const char* cr = nullptr;
  bool lfKnown = false, crKnown = false;
  auto add = [&](const char* at) {
    const auto position = static_cast<size_t>(at - begin);
    if (FIsWide)
      FWide.push_back(position);
    else
      FStarts.push_back(static_cast<uint32_t>(position));
  };
  while (p < end) {
    if (!lfKnown || (lf && lf < p)) {
      lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      lfKnown = true;
    }
    if (!crKnown || (cr && cr < p)) {
      cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
      crKnown = true;
    }
    add(p);
    ++FTextLines;
    const char* stop = lf && (!cr || lf < cr) ? lf : cr;
    if (!stop) {
      p = end;
      break;
    }
    p = stop + 1;
    if (*stop == '\r' && p < end && *p == '\n') ++p;
  }
  // Where the last line ends: the end of the text, cut at a NUL.
  add(p);
}
