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

void TPropertyLines::clear() {
  FText.clear();
  FEnds.clear();
}

void TPropertyLines::reserve(size_t Lines, size_t Bytes) {
  FEnds.reserve(Lines);
  FText.reserve(Bytes);
}

void TPropertyLines::shrink_to_fit() {
  FText.shrink_to_fit();
  FEnds.shrink_to_fit();
}

void TPropertyLines::push_back(std::string_view Line) {
  if (FText.size() + Line.size() > UINT32_MAX) throw std::length_error("property lines too long");
  FText.append(Line);
  FEnds.push_back(static_cast<uint32_t>(FText.size()));
}

void TPropertyLines::erase(const_iterator Line) {
  const size_t i = Line.Index();
  const size_t start = i == 0 ? 0 : FEnds[i - 1];
  const size_t length = FEnds[i] - start;
  FText.erase(start, length);
  FEnds.erase(FEnds.begin() + static_cast<std::ptrdiff_t>(i));
  for (size_t k = i; k < FEnds.size(); ++k) FEnds[k] -= static_cast<uint32_t>(length);
}

void TPropertyLines::AppendTo(size_t i, std::string_view Text) {
  if (FText.size() + Text.size() > UINT32_MAX) throw std::length_error("property lines too long");
  FText.insert(FEnds[i], Text);
  for (size_t k = i; k < FEnds.size(); ++k) FEnds[k] += static_cast<uint32_t>(Text.size());
}

void TPropertyLines::Replace(size_t i, std::string_view Line) {
  const std::string line(Line);  // Line may point into the text
  const size_t start = i == 0 ? 0 : FEnds[i - 1];
  const size_t length = FEnds[i] - start;
  if (FText.size() - length + line.size() > UINT32_MAX) throw std::length_error("property lines too long");
  FText.replace(start, length, line);
  for (size_t k = i; k < FEnds.size(); ++k) FEnds[k] = static_cast<uint32_t>(FEnds[k] - length + line.size());
}

void TPropertyLines::Reorder(const uint32_t* Order) {
  const size_t n = FEnds.size();
  std::array<uint32_t, kFewLines> few;
  std::vector<uint32_t> many;
  if (n > kFewLines) many = FEnds;
  const uint32_t* const ends = n > kFewLines ? many.data() : few.data();
  if (n <= kFewLines) std::copy(FEnds.begin(), FEnds.end(), few.begin());
  std::string text;
  text.reserve(FText.size());
  for (size_t i = 0; i < n; ++i) {
    const uint32_t k = Order[i];
    const uint32_t start = k == 0 ? 0 : ends[k - 1];
    text.append(FText, start, ends[k] - start);
    FEnds[i] = static_cast<uint32_t>(text.size());
  }
  FText = std::move(text);
}
