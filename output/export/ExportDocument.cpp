#include "ExportDocument.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

namespace {
constexpr size_t kFirstCapacity = size_t(1) << 20;
}

TExportDocument::~TExportDocument() {
  if (FData) ::munmap(FData, FCapacity);
}

void TExportDocument::Append(std::string_view Text) {
  if (Text.empty()) return;
  if (FCapacity - FSize < Text.size()) Grow(FSize + Text.size());
  std::memcpy(FData + FSize, Text.data(), Text.size());
  FSize += Text.size();
}

void TExportDocument::Grow(size_t Needed) {
  size_t capacity = FCapacity ? FCapacity : kFirstCapacity;
  while (capacity < Needed) {
    if (capacity > SIZE_MAX / 2) throw std::bad_alloc();
    capacity *= 2;
  }
  void* data = FData ? ::mremap(FData, FCapacity, capacity, MREMAP_MAYMOVE)
                     : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  FData = static_cast<char*>(data);
  FCapacity = capacity;
}
