#pragma once

// A growable run of bytes whose length and room are kept in its one heap
// block, so that an empty one costs a pointer: the property lines of each of
// hundreds of thousands of objects live in one.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class TByteBlock {
 public:
  TByteBlock() = default;
  ~TByteBlock();
  TByteBlock(const TByteBlock& Other);
  TByteBlock& operator=(const TByteBlock& Other);
  TByteBlock(TByteBlock&& Other) noexcept;
  TByteBlock& operator=(TByteBlock&& Other) noexcept;

  size_t size() const { return FBlock ? Field(0) : 0; }
  size_t capacity() const { return FBlock ? Field(1) : 0; }
  bool empty() const { return size() == 0; }
  char* data() { return FBlock ? FBlock + kHead : nullptr; }
  const char* data() const { return FBlock ? FBlock + kHead : nullptr; }
  std::string_view view() const { return {data(), size()}; }
  friend bool operator==(const TByteBlock& A, const TByteBlock& B) { return A.view() == B.view(); }

  void clear();
  void reserve(size_t Bytes);
  void shrink_to_fit();
  // Text must not lie in the block.
  void insert(size_t At, std::string_view Text);
  void insert(size_t At, size_t Count, char C);
  void append(std::string_view Text) { insert(size(), Text); }
  void erase(size_t At, size_t Count);
  // Text must not lie in the block.
  void replace(size_t At, size_t Count, std::string_view Text);
  // Opens Count bytes at At (their content undefined) and returns them.
  char* Open(size_t At, size_t Count);

 private:
  static constexpr size_t kHead = 8;  // length and room, four bytes each
  size_t Field(size_t k) const {
    uint32_t v;
    std::memcpy(&v, FBlock + 4 * k, 4);
    return v;
  }
  void SetField(size_t k, size_t Value) {
    const auto v = static_cast<uint32_t>(Value);
    std::memcpy(FBlock + 4 * k, &v, 4);
  }
  void Resize(size_t Room);
  char* FBlock = nullptr;
};
