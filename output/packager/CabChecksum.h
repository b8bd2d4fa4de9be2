#pragma once

#include <cstddef>
#include <cstdint>

// Checksum of a cabinet data block: XOR of little-endian 32-bit words, with
// the 1 to 3 leftover bytes combined first-byte-most-significant.
uint32_t CabChecksum(const uint8_t* Data, size_t Size, uint32_t Seed);

// The value stored in a data block's header: covers the payload and the two
// size fields that follow the checksum.
uint32_t CabDataBlockChecksum(const uint8_t* Payload, uint16_t CompressedSize, uint16_t UncompressedSize);
