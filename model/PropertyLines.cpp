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

void TPropertyLines::push_back(std::string_view Line) {
  // A line of the block itself is copied first: growing moves the block.
  std::string copy;
  if (!FData.empty() && Line.data() >= FData.data() && Line.data() < FData.data() + FData.size())
    Line = copy.assign(Line);
  const std::string_view line = Line;
  const size_t n = size();
  if (FData.empty()) FData.insert(0, 4, '\0');
  const size_t bytes = FData.size() - TextAt(n);
  CheckRoom(FData.size() + 4 + line.size());
  FData.insert(TextAt(n), 4, '\0');
  Store(TextAt(n), bytes + line.size());
  Store(0, n + 1);
  FData.append(line);
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
  TByteBlock data;
  data.reserve(FData.size());
  data.insert(0, TextAt(n), '\0');
  const size_t text = TextAt(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t k = Order[i];
    const size_t start = Start(k);
    data.append(FData.view().substr(text + start, End(k) - start));
    const auto end = static_cast<uint32_t>(data.size() - text);
    std::memcpy(data.data() + 4 + 4 * i, &end, 4);
  }
  std::memcpy(data.data(), FData.data(), 4);
  FData = std::move(data);
}
