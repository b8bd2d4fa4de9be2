#include "CabChecksum.h"

uint32_t CabChecksum(const uint8_t* Data, size_t Size, uint32_t Seed) {
  uint32_t Sum = Seed;
  size_t I = 0;
  for (; I + 4 <= Size; I += 4)
    Sum ^= uint32_t{Data[I]} | uint32_t{Data[I + 1]} << 8 | uint32_t{Data[I + 2]} << 16 | uint32_t{Data[I + 3]} << 24;
  switch (Size - I) {
    case 3:
      Sum ^= uint32_t{Data[I]} << 16 | uint32_t{Data[I + 1]} << 8 | Data[I + 2];
      break;
    case 2:
      Sum ^= uint32_t{Data[I]} << 8 | Data[I + 1];
      break;
    case 1:
      Sum ^= Data[I];
      break;
    default:
      break;
  }
  return Sum;
}

uint32_t CabDataBlockChecksum(const uint8_t* Payload, uint16_t CompressedSize, uint16_t UncompressedSize) {
  const uint8_t Sizes[4] = {static_cast<uint8_t>(CompressedSize & 0xFF), static_cast<uint8_t>(CompressedSize >> 8),
                            static_cast<uint8_t>(UncompressedSize & 0xFF), static_cast<uint8_t>(UncompressedSize >> 8)};
  return CabChecksum(Sizes, 4, CabChecksum(Payload, CompressedSize, 0));
}
