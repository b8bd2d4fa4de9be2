#include "ExportDocument.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

TExportDocument::TExportDocument(TWrite Write) : FWrite(std::move(Write)) {
  // Pages of their own: aligned for a write past the page cache, and given
  // back to the system as soon as the export is done.
  void* data = ::mmap(nullptr, kBufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  FBuffer = static_cast<char*>(data);
}

TExportDocument::~TExportDocument() { ::munmap(FBuffer, kBufferSize); }

void TExportDocument::Spill(std::string_view Text) {
  while (!Text.empty()) {
    const size_t take = std::min(Text.size(), kBufferSize - FSize);
    std::char_traits<char>::copy(FBuffer + FSize, Text.data(), take);
    FSize += take;
    Text.remove_prefix(take);
    if (FSize == kBufferSize) Flush();
  }
}

void TExportDocument::Flush() {
  if (!FFailed && FSize > 0) FFailed = !FWrite(std::string_view(FBuffer, FSize));
  FSize = 0;
}

bool TExportDocument::Finish() {
  Flush();
  return !FFailed;
}
