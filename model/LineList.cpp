#include "LineList.h"

#include <cstring>

TLineList::TLineList(std::initializer_list<std::string> Lines) {
  for (const std::string& line : Lines) push_back(line);
}

void TLineList::clear() {
  FLines.clear();
  FAdded.clear();
  std::string().swap(FText);
}

void TLineList::push_back(std::string Line) {
  FAdded.push_back(std::move(Line));
  FLines.emplace_back(FAdded.back());
}

void TLineList::SetText(std::string Text) {
  clear();
  FText = std::move(Text);
  std::string_view text = FText;
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  const char* p = text.data();
  const char* const end = p + text.size();
  size_t breaks = 0;
  for (const char* q = p; (q = static_cast<const char*>(std::memchr(q, '\n', static_cast<size_t>(end - q)))); ++q)
    ++breaks;
  FLines.reserve(breaks + 1);
  // A line ends at the first CR or LF; a CR directly followed by LF ends it
  // once. CRs are rare inside lines, so the next of each kind is found once
  // and kept until the scan passes it.
  const char* lf = nullptr;
  const char* cr = nullptr;
  bool lfKnown = false, crKnown = false;
  while (p < end) {
    if (!lfKnown || (lf && lf < p)) {
      lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      lfKnown = true;
    }
    if (!crKnown || (cr && cr < p)) {
      cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
      crKnown = true;
    }
    const char* stop = lf && (!cr || lf < cr) ? lf : cr;
    if (!stop) {
      FLines.emplace_back(p, static_cast<size_t>(end - p));
      break;
    }
    FLines.emplace_back(p, static_cast<size_t>(stop - p));
    p = stop + 1;
    if (*stop == '\r' && p < end && *p == '\n') ++p;
  }
}
