#include "ExportDocument.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

TExportDocument::TExportDocument(TWrite Write) : FWrite(std::move(Write)) {
  // Pages of their own: aligned for a write past the page cache, and given
  // back to the system as soon as the export is done.
  void* pages = ::mmap(nullptr, 2 * kBufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  FPages = FBuffer = static_cast<char*>(pages);
}

TExportDocument::~TExportDocument() {
  if (FWriter.joinable()) {
    {
      std::unique_lock lock(FLock);
      WaitForWriter(lock);
      FEnding = true;
    }
    FChanged.notify_all();
    FWriter.join();
  }
  ::munmap(FPages, 2 * kBufferSize);
}

void TExportDocument::Spill(std::string_view Text) {
  while (!Text.empty()) {
    const size_t take = std::min(Text.size(), kBufferSize - FSize);
    std::char_traits<char>::copy(FBuffer + FSize, Text.data(), take);
    FSize += take;
    Text.remove_prefix(take);
    if (FSize == kBufferSize) Flush();
  }
}

void TExportDocument::WaitForWriter(std::unique_lock<std::mutex>& Lock) {
  FChanged.wait(Lock, [this] { return FPending.empty(); });
}

void TExportDocument::Flush() {
  if (FSize == 0) return;
  {
    std::unique_lock lock(FLock);
    WaitForWriter(lock);
    if (!FFailed) FPending = std::string_view(FBuffer, FSize);
  }
  if (!FWriter.joinable()) FWriter = std::thread([this] { WriteOnThread(); });
  FChanged.notify_all();
  FBuffer = FBuffer == FPages ? FPages + kBufferSize : FPages;
  FSize = 0;
}

void TExportDocument::WriteOnThread() {
  std::unique_lock lock(FLock);
  for (;;) {
    FChanged.wait(lock, [this] { return !FPending.empty() || FEnding; });
    if (FPending.empty()) return;
    const std::string_view bytes = FPending;
    lock.unlock();
    bool written = false;
    try {
      written = FWrite(bytes);
    } catch (...) {
      // A write that raises failed like any other.
    }
    lock.lock();
    if (!written) FFailed = true;
    FPending = {};
    FChanged.notify_all();
  }
}

bool TExportDocument::Finish() {
  Flush();
  std::unique_lock lock(FLock);
  WaitForWriter(lock);
  return !FFailed;
}
