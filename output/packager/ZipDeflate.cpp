#include "ZipDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace zipdeflate {

namespace {
constexpr size_t kWindow = 32768;

void Put16(std::string& Out, uint32_t V) {
  Out += static_cast<char>(V & 0xFF);
  Out += static_cast<char>((V >> 8) & 0xFF);
}
void Put32(std::string& Out, uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}
}  // namespace

std::string DeflatePiece(std::string_view Data, size_t From, size_t To, bool Last) {
  z_stream stream{};
  // The largest match buffers zlib has: fewer forced block ends.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
  if (From > 0) {
    const size_t start = From > kWindow ? From - kWindow : 0;
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(Data.data() + start), static_cast<uInt>(From - start));
  }
  // A sync flush adds at most a few bytes beyond the bound.
  std::string out(deflateBound(&stream, static_cast<uLong>(To - From)) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data() + From));
  stream.avail_in = static_cast<uInt>(To - From);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Last ? Z_FINISH : Z_SYNC_FLUSH);
  const bool whole = Last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (!whole) throw std::bad_alloc();
  return out;
}

uint32_t Crc32(std::string_view Bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths in 32 bits.
  for (size_t at = 0; at < Bytes.size(); at += kPieceSize) {
    const size_t n = std::min(kPieceSize, Bytes.size() - at);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(Bytes.data() + at), static_cast<uInt>(n));
  }
  return static_cast<uint32_t>(crc);
}

uint32_t CombineCrc32(uint32_t A, uint32_t B, size_t LengthB) {
  return static_cast<uint32_t>(crc32_combine(A, B, static_cast<z_off_t>(LengthB)));
}

std::string OneEntryZip(std::string_view Deflated, uint32_t Crc, uint64_t Size) {
  static const char kName[] = "entry";
  const uint32_t nameLength = sizeof kName - 1;
  // Flag bit 1: deflated at maximum compression.
  const auto header = [&](std::string& Out, bool Central) {
    Put32(Out, Central ? 0x02014B50 : 0x04034B50);
    if (Central) Put16(Out, 20);  // made by
    Put16(Out, 20);               // needed to extract
    Put16(Out, 0x0002);
    Put16(Out, 8);       // Deflate
    Put16(Out, 0);       // time
    Put16(Out, 0x0021);  // 1 January 1980
    Put32(Out, Crc);
    Put32(Out, static_cast<uint32_t>(Deflated.size()));
    Put32(Out, static_cast<uint32_t>(Size));
    Put16(Out, nameLength);
    Put16(Out, 0);  // extra field
    if (Central) {
      Put16(Out, 0);  // comment
      Put16(Out, 0);  // disk
      Put16(Out, 0);  // internal attributes
      Put32(Out, 0);  // external attributes
      Put32(Out, 0);  // offset of the local header
    }
    Out.append(kName, nameLength);
  };
  std::string zip;
  zip.reserve(Deflated.size() + 160);
  header(zip, false);
  zip.append(Deflated);
  const uint32_t central = static_cast<uint32_t>(zip.size());
  header(zip, true);
  const uint32_t centralSize = static_cast<uint32_t>(zip.size()) - central;
  Put32(zip, 0x06054B50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 1);
  Put16(zip, 1);
  Put32(zip, centralSize);
  Put32(zip, central);
  Put16(zip, 0);
  return zip;
}

}  // namespace zipdeflate
