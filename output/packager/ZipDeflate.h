#pragma once

// Deflate of a large file in pieces that compress side by side. Each piece
// is deflated on its own, primed with the 32 KiB before it, so it finds the
// matches a single stream would; every piece but the last ends on a byte
// boundary, so the pieces joined are one Deflate stream. The pieces depend
// only on the data, so the result is the same for any number of threads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zipdeflate {

inline constexpr size_t kPieceSize = size_t{2} << 20;

// Raw Deflate of Data[From, To) at maximum compression; Last ends the stream.
// Fails with std::bad_alloc when zlib has no memory.
std::string DeflatePiece(std::string_view Data, size_t From, size_t To, bool Last);

uint32_t Crc32(std::string_view Bytes);
// The CRC of A's bytes followed by B's, B being LengthB bytes long.
uint32_t CombineCrc32(uint32_t A, uint32_t B, size_t LengthB);

// A zip archive whose one entry holds Deflated, the compressed form of Size
// bytes with that CRC; for sizes below 4 GiB.
std::string OneEntryZip(std::string_view Deflated, uint32_t Crc, uint64_t Size);

}  // namespace zipdeflate
