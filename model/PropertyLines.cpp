#include "PropertyLines.h"

#include <algorithm>
#include <array>
#include <stdexcept>

TPropertyLines::TPropertyLines(std::initializer_list<std::string_view> Lines) {
  for (std::string_view line : Lines) push_back(line);
}

TPropertyLines& TPropertyLines::operator=(const std::vector<std::string>& Lines) {
  clear();
  for (const std::string& line : Lines) push_back(line);
  return *this;
}

TPropertyLines& TPropertyLines::operator=(std::initializer_list<std::string_view> Lines) {
  clear();
  for (std::string_view line : Lines) push_back(line);
  return *this;
}

void TPropertyLines::clear() { FData.clear(); }

void TPropertyLines::reserve(size_t Lines, size_t Bytes) { FData.reserve(TextAt(Lines) + Bytes); }

void TPropertyLines::shrink_to_fit() { FData.shrink_to_fit(); }

namespace {
void CheckRoom(size_t Bytes) {
  if (Bytes > UINT32_MAX) throw std::length_error("property lines too long");
}
}  // namespace

void TPropertyLines::ShiftEnds(size_t From, int64_t Delta) {
  for (size_t k = From; k < size(); ++k) Store(4 + 4 * k, static_cast<size_t>(static_cast<int64_t>(End(k)) + Delta));
}

void TPropertyLines::push_back(std::string_view Line) { push_back(Line, {}); }

void TPropertyLines::push_back(std::string_view Head, std::string_view Tail) {
  // A line of the block itself is copied first: growing moves the block.
  std::string copy;
  const auto inBlock = [this](std::string_view v) {
    return !v.empty() && v.data() >= FData.data() && v.data() < FData.data() + FData.size();
  };
  if (!FData.empty() && (inBlock(Head) || inBlock(Tail))) {
    copy.assign(Head).append(Tail);
    Head = copy;
    Tail = {};
  }
  const size_t n = size();
  const size_t length = Head.size() + Tail.size();
  const size_t bytes = FData.empty() ? 0 : FData.size() - TextAt(n);
  CheckRoom(TextAt(n + 1) + bytes + length);
  // Room for the count (the first line only), the line's end and the line
  // at once; the text moves up by the one end.
  FData.Open(FData.size(), (FData.empty() ? 8 : 4) + length);
  char* const data = FData.data();
  std::memmove(data + TextAt(n + 1), data + TextAt(n), bytes);
  Store(TextAt(n), bytes + length);
  Store(0, n + 1);
  char* const at = data + TextAt(n + 1) + bytes;
  if (!Head.empty()) std::memcpy(at, Head.data(), Head.size());
  if (!Tail.empty()) std::memcpy(at + Head.size(), Tail.data(), Tail.size());
}

void TPropertyLines::erase(const_iterator Line) {
  const size_t i = Line.Index(), n = size();
  const size_t start = Start(i), length = End(i) - start;
  ShiftEnds(i + 1, -static_cast<int64_t>(length));
  FData.erase(TextAt(n) + start, length);
  FData.erase(4 + 4 * i, 4);
  if (n == 1)
    FData.clear();
  else
    Store(0, n - 1);
}

void TPropertyLines::AppendTo(size_t i, std::string_view Text) {
  const std::string text(Text);
  CheckRoom(FData.size() + text.size());
  FData.insert(TextAt(size()) + End(i), text);
  ShiftEnds(i, static_cast<int64_t>(text.size()));
}

void TPropertyLines::Replace(size_t i, std::string_view Line) {
  const std::string line(Line);
  const size_t start = Start(i), length = End(i) - start;
  CheckRoom(FData.size() - length + line.size());
  FData.replace(TextAt(size()) + start, length, line);
  ShiftEnds(i, static_cast<int64_t>(line.size()) - static_cast<int64_t>(length));
}

void TPropertyLines::Reorder(const uint32_t* Order) {
  const size_t n = size();
  const size_t text = TextAt(n);
  TByteBlock data;
  data.reserve(FData.size());
  char* const to = data.Open(0, FData.size());
  const char* const from = FData.data();
  std::memcpy(to, from, 4);
  size_t end = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t k = Order[i];
    const size_t start = Start(k), length = End(k) - start;
    std::memcpy(to + text + end, from + text + start, length);
    end += length;
    const auto stored = static_cast<uint32_t>(end);
    std::memcpy(to + 4 + 4 * i, &stored, 4);
  }
  FData = std::move(data);
}
