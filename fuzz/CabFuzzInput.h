#pragma once

// What an input of the cabinet fuzz harness stands for, shared by the
// harness and the test that replays its saved inputs.
//
// One byte of settings, then pieces. A piece byte below 0x80 copies the next
// (byte + 1) bytes; any other repeats its next 1 to 4 bytes into a run of
// 4 KiB to 128 KiB, so that short inputs reach long runs that cross frames
// and the encoder's buffer. The bytes are split into 1 to 4 files of equal
// parts, all in one folder or each in its own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TCabFuzzCase {
  std::vector<std::string> Files;
  bool FolderEach = false;
  size_t PayloadLimit = 0;  // 0: the format's own; else frames above it go uncompressed
};

inline TCabFuzzCase DecodeCabFuzzInput(const uint8_t* Data, size_t Size) {
  constexpr size_t kMaxBytes = 3u << 20;
  TCabFuzzCase c;
  if (Size == 0) return c;
  const uint8_t settings = Data[0];
  std::string bytes;
  size_t i = 1;
  while (i < Size && bytes.size() < kMaxBytes) {
    const uint8_t piece = Data[i++];
    if (piece < 0x80) {
      const size_t n = std::min<size_t>(piece + 1u, Size - i);
      bytes.append(reinterpret_cast<const char*>(Data + i), n);
      i += n;
      continue;
    }
    const size_t period = std::min<size_t>((piece & 3u) + 1u, Size - i);
    if (period == 0) break;
    const std::string unit(reinterpret_cast<const char*>(Data + i), period);
    i += period;
    for (size_t left = (((piece >> 2) & 31u) + 1u) * 4096u; left > 0 && bytes.size() < kMaxBytes; --left)
      bytes += unit[left % period];
  }
  const size_t files = (settings & 3u) + 1u;
  for (size_t f = 0; f < files; ++f)
    c.Files.push_back(
        bytes.substr(bytes.size() * f / files, bytes.size() * (f + 1) / files - bytes.size() * f / files));
  c.FolderEach = settings & 4u;
  if (settings & 8u) c.PayloadLimit = 1024u << ((settings >> 4) & 7u);
  return c;
}
