#include "ByteBlock.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

TByteBlock::~TByteBlock() { std::free(FBlock); }

TByteBlock::TByteBlock(const TByteBlock& Other) { append(Other.view()); }

TByteBlock& TByteBlock::operator=(const TByteBlock& Other) {
  if (this != &Other) {
    clear();
    append(Other.view());
  }
  return *this;
}

TByteBlock::TByteBlock(TByteBlock&& Other) noexcept : FBlock(std::exchange(Other.FBlock, nullptr)) {}

TByteBlock& TByteBlock::operator=(TByteBlock&& Other) noexcept {
  if (this != &Other) {
    std::free(FBlock);
    FBlock = std::exchange(Other.FBlock, nullptr);
  }
  return *this;
}

void TByteBlock::Resize(size_t Room) {
  if (Room > UINT32_MAX) throw std::bad_alloc();
  const size_t length = size();
  void* block = std::realloc(FBlock, kHead + Room);
  if (!block) throw std::bad_alloc();
  FBlock = static_cast<char*>(block);
  SetField(0, length);
  SetField(1, Room);
}

void TByteBlock::clear() {
  if (FBlock) SetField(0, 0);
}

void TByteBlock::reserve(size_t Bytes) {
  if (Bytes > capacity()) Resize(Bytes);
}

void TByteBlock::shrink_to_fit() {
  if (!FBlock) return;
  if (size() == 0) {
    std::free(FBlock);
    FBlock = nullptr;
  } else if (capacity() > size()) {
    Resize(size());
  }
}

char* TByteBlock::Open(size_t At, size_t Count) {
  const size_t length = size();
  if (length + Count > capacity()) {
    size_t room = capacity() * 2;
    if (room < length + Count) room = length + Count;
    if (room < 32) room = 32;
    Resize(room);
  }
  char* p = FBlock + kHead;
  if (At < length) std::memmove(p + At + Count, p + At, length - At);
  SetField(0, length + Count);
  return p + At;
}

void TByteBlock::insert(size_t At, std::string_view Text) {
  if (Text.empty()) return;
  std::memcpy(Open(At, Text.size()), Text.data(), Text.size());
}

void TByteBlock::insert(size_t At, size_t Count, char C) {
  if (Count == 0) return;
  std::memset(Open(At, Count), C, Count);
}

void TByteBlock::erase(size_t At, size_t Count) {
  if (Count == 0) return;
  const size_t length = size();
  char* p = FBlock + kHead;
  std::memmove(p + At, p + At + Count, length - At - Count);
  SetField(0, length - Count);
}

void TByteBlock::replace(size_t At, size_t Count, std::string_view Text) {
  erase(At, Count);
  insert(At, Text);
}
