#pragma once

// LZX compressor for cabinet folders (window 2^18, compression word 0x1203).
//
// A folder's bytes go in as 32 KiB frames; each frame comes back as the exact
// payload of one CFDATA block (its bits padded with zero bits to a 16-bit
// boundary). The window, repeated offsets and previous tree lengths carry on
// from frame to frame until Reset() starts the next folder.
//
// Each frame is one block, so no match ever crosses a frame or block
// boundary: a verbatim block, or an aligned-offset block when coding the low
// three bits of long offsets with their own tree saves space. A frame whose
// compressed form would be no smaller than its bytes (or exceed the payload
// limit) goes out as an uncompressed block instead.
//
// Finding matches is most of the work, and it needs only the bytes: chunks
// of frames are parsed by threads side by side, each with its own match
// finder that first takes in the window before its chunk. The blocks are
// then coded in order, where the repeated offsets and tree lengths carry on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace lzx {

constexpr int kWindowBits = 18;
constexpr uint32_t kWindowSize = 1u << kWindowBits;
// One below the largest distance the format can express: a match at W - 3
// after the window has wrapped is decoded wrongly by at least one decoder.
constexpr uint32_t kMaxDistance = kWindowSize - 4;
constexpr uint32_t kFrameSize = 32768;
constexpr size_t kMaxFramePayload = 32768 + 6144;
constexpr int kPositionSlots = 36;
constexpr int kMainSymbols = 256 + 8 * kPositionSlots;
constexpr int kLengthSymbols = 249;
constexpr int kPreTreeSymbols = 20;
constexpr int kAlignedSymbols = 8;
constexpr int kMinMatch = 2;
constexpr int kMaxMatch = 257;
constexpr uint16_t kCabCompressionWord = 0x0003 | (kWindowBits << 8);

// Bits go MSB-first into 16-bit words; each word is stored low byte first.
class TBitWriter {
 public:
  void SetOutput(std::vector<uint8_t>* Out) { FOut = Out; }
  // Appends the low Bits bits of Value (Bits <= 32), most significant first.
  void Put(uint32_t Value, int Bits);
  // Zero bits up to the next word boundary (none when already there).
  void Align();
  int PendingBits() const { return FPending; }

  struct TState {
    uint64_t Acc;
    int Pending;
  };
  TState Save() const { return {FAcc, FPending}; }
  void Restore(const TState& S) {
    FAcc = S.Acc;
    FPending = S.Pending;
  }

 private:
  std::vector<uint8_t>* FOut = nullptr;
  uint64_t FAcc = 0;
  int FPending = 0;
};

// Huffman code lengths for the given frequencies, none longer than MaxLen.
// Unused symbols get length 0. The code is always complete: a lone used
// symbol gets a partner so that both have length 1; no used symbol at all
// gives all zeros.
std::vector<uint8_t> CodeLengths(const uint32_t* Freq, int Count, int MaxLen);

// Canonical codewords for the given lengths (codes of length 0 are left 0).
std::vector<uint16_t> CanonicalCodes(const uint8_t* Lengths, int Count);

// The header of an uncompressed block of Size bytes and the zero bits that
// put its byte part on a word boundary: 1 to 16 of them, a whole word when
// the header happens to end on one.
void PutUncompressedBlockHeader(TBitWriter& Bits, uint32_t Size);

// Position slot of a formatted offset (distance + 2), 3 <= Formatted < 2^18.
int PositionSlot(uint32_t Formatted);
uint32_t SlotBase(int Slot);
int FooterBits(int Slot);

// Literals and matches of one frame, each as one code: a literal is its
// byte, a match kMatchCode | (length - 2) << 18 | distance. Distances are
// plain; which of them go as repeated offsets is decided when coding.
constexpr uint32_t kMatchCode = 1u << 31;
using TParsedFrame = std::vector<uint32_t>;

class TEncoder {
 public:
  // Threads parse the folder's data in chunks of frames side by side; 0
  // takes one per processor, 1 parses in the calling thread.
  explicit TEncoder(unsigned Threads = 0);
  ~TEncoder();
  TEncoder(const TEncoder&) = delete;
  TEncoder& operator=(const TEncoder&) = delete;

  // Starts a new folder: empty window, repeated offsets 1, previous tree
  // lengths zero, and the stream's header bit still to be written. Frames
  // not taken yet are dropped.
  void Reset();

  // Queues the folder's next frame (1..32768 bytes; only the folder's last
  // frame may be shorter than 32768).
  void AddFrame(const uint8_t* Data, size_t Size);
  // The next frame's payload, in the folder's order, with the frame's size.
  // Without All it gives a payload only when one is ready, or when so many
  // chunks are queued that the caller must wait for the oldest; with All the
  // queued frames are parsed and each is waited for. False when none is
  // given.
  bool TakePayload(std::vector<uint8_t>& Payload, uint32_t& FrameSize, bool All);

  // AddFrame and TakePayload at once: the frame's payload replaces Payload.
  void EncodeFrame(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Payload);

  // Frames whose verbatim form would be larger than this go as uncompressed
  // blocks. Lowering it lets a test force that path.
  void SetPayloadLimit(size_t Limit) { FPayloadLimit = Limit; }
  // Number of frames of the current folder written as uncompressed and as
  // aligned-offset blocks.
  size_t UncompressedFrames() const { return FUncompressedFrames; }
  size_t AlignedFrames() const { return FAlignedFrames; }

 private:
  struct TToken {
    uint16_t Main;      // main-tree symbol
    uint8_t LengthSym;  // length-tree symbol when (Main - 256) & 7 == 7
    uint8_t FooterBits;
    uint32_t Footer;
  };
  struct TJob;
  struct TTablePool;

  void Dispatch();
  void CodeFrame(const uint8_t* Data, uint32_t Size, const TParsedFrame& Parsed, std::vector<uint8_t>& Payload);
  void AddMatch(uint32_t Len, uint32_t Dist);
  // A verbatim or aligned-offset block, whichever is smaller; true for aligned.
  bool WriteCompressedBlock(uint32_t Size);
  void WriteUncompressedBlock(const uint8_t* Data, uint32_t Size, std::vector<uint8_t>& Payload);
  void WriteTreeSection(const uint8_t* NewLens, uint8_t* PrevLens, int Count);

  unsigned FThreads;
  std::unique_ptr<TTablePool> FTables;  // outlives the jobs that borrow from it
  TBitWriter FBits;
  size_t FPayloadLimit = kMaxFramePayload;
  size_t FUncompressedFrames = 0;
  size_t FAlignedFrames = 0;
  bool FHeaderWritten = false;
  bool FShortFrameSeen = false;

  // The last window's worth of the folder's dispatched bytes, which the next
  // chunk's matches may reach back into, and the frames not dispatched yet.
  std::vector<uint8_t> FHistory;
  std::vector<uint8_t> FPending;
  std::vector<uint32_t> FPendingSizes;
  std::deque<std::unique_ptr<TJob>> FJobs;  // dispatched, oldest first

  std::array<uint32_t, 3> FR{1, 1, 1};
  std::array<uint8_t, kMainSymbols> FPrevMain{};
  std::array<uint8_t, kLengthSymbols> FPrevLength{};
  std::vector<TToken> FTokens;
};

}  // namespace lzx
