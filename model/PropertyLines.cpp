#include "PropertyLines.h"

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

void TPropertyLines::Reorder(const std::vector<uint32_t>& Order) {
  std::string text;
  text.reserve(FText.size());
  std::vector<uint32_t> ends;
  ends.reserve(Order.size());
  for (uint32_t k : Order) {
    text.append((*this)[k]);
    ends.push_back(static_cast<uint32_t>(text.size()));
  }
  FText = std::move(text);
  FEnds = std::move(ends);
}
