#include "LineList.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The number of LFs in [p, end).
size_t CountLineFeeds(const char* p, const char* const end) {
  size_t count = 0;
#if defined(__SSE2__)
  // Sixteen bytes a step, counted per byte lane and summed before a lane
  // can overflow.
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    __m128i lanes = _mm_setzero_si128();
    for (int k = 0; k < 255 && end - p >= 16; ++k, p += 16)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf));
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; p < end; ++p) count += *p == '\n';
  return count;
}

// The first CR or LF in [p, end); nullptr when there is none.
const char* FindLineBreak(const char* p, const char* const end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    if (hits != 0) return p + std::countr_zero(static_cast<unsigned>(hits));
    p += 16;
  }
#endif
  for (; p < end; ++p)
    if (*p == '\r' || *p == '\n') return p;
  return nullptr;
}

}  // namespace

TLineList::TLineList(std::initializer_list<std::string> Lines) {
  for (const std::string& line : Lines) push_back(line);
}

void TLineList::clear() {
  std::vector<uint32_t>().swap(FStarts);
  std::vector<uint64_t>().swap(FWide);
  FTextLines = 0;
  FIsWide = false;
  FReleased = 0;
  FAdded.clear();
  std::string().swap(FText);
}

void TLineList::ReleaseBefore(size_t Line) {
  constexpr size_t kLeast = size_t{4} << 20;
  if (Line >= FTextLines || Line < 2 || Start(Line) - FReleased < kLeast) return;
  static const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto text = reinterpret_cast<uintptr_t>(FText.data());
  const uintptr_t from = (text + std::max(Start(1), FReleased) + page - 1) & ~(page - 1);
  const uintptr_t to = (text + Start(Line)) & ~(page - 1);
  // The pages read as zeros if touched again; none of them holds a byte of line 0 or of Line on.
  if (to > from && ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) != 0) return;
  FReleased = Start(Line);
}

std::string_view TLineList::at(size_t i) const {
  if (i >= size()) throw std::out_of_range("TLineList::at");
  return (*this)[i];
}

std::string_view TLineList::AddedLine(size_t i) const { return FAdded[i - FTextLines]; }

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
  const size_t breaks = CountLineFeeds(p, end);
  FIsWide = text.size() > std::numeric_limits<uint32_t>::max();
  if (FIsWide)
    FWide.reserve(breaks + 2);
  else
    FStarts.reserve(breaks + 2);
  // A line ends at the first CR or LF; a CR directly followed by LF ends it
  // once.
  auto split = [&](auto& starts) {
    while (p < end) {
      starts.push_back(static_cast<typename std::decay_t<decltype(starts)>::value_type>(p - begin));
      ++FTextLines;
      const char* const stop = FindLineBreak(p, end);
      if (!stop) {
        p = end;
        break;
      }
      p = stop + 1;
      if (*stop == '\r' && p < end && *p == '\n') ++p;
    }
    // Where the last line ends: the end of the text, cut at a NUL.
    starts.push_back(static_cast<typename std::decay_t<decltype(starts)>::value_type>(p - begin));
  };
  if (FIsWide)
    split(FWide);
  else
    split(FStarts);
}
