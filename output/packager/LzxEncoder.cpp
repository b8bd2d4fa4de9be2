#include "LzxEncoder.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "UsableCpus.h"

namespace lzx {

namespace {

constexpr int kHashBits = 18;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr size_t kBufSlack = 16;  // lets the match compare read whole words
// Frames parsed by one thread at a time: 1 MiB, so that taking in the
// window before the chunk costs a quarter more at most.
constexpr size_t kChunkFrames = 32;
constexpr unsigned kMaxThreads = 8;
// Chains are walked eight deep: deeper walks found a few percent more in
// object files at close to twice the time.
constexpr int kMaxChain = 8;
constexpr uint32_t kNiceLength = 128;
// A match this long already found cuts the rest of the chain to a quarter.
constexpr uint32_t kGoodLength = 32;
constexpr uint32_t kLazyLimit = 32;
// After this many literals in a row the data compresses badly (it is
// compressed already): only every fourth position is searched and inserted,
// and after sixteen times as many only every sixteenth, until a match turns
// up again.
constexpr uint32_t kSkipAfterLiterals = 128;
// A 3-byte match farther than this codes longer than its three literals.
constexpr uint32_t kFarShortMatch = 16384;

inline uint16_t Load16(const uint8_t* P) {
  uint16_t V;
  std::memcpy(&V, P, 2);
  return V;
}

// Positions are chained by their first four bytes: three-byte matches are
// worth little, and chains of three bytes grow long in binary data.
inline uint32_t Hash4(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return (V * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

void TBitWriter::Put(uint32_t Value, int Bits) {
  if (Bits == 0) return;
  const uint64_t Mask = (uint64_t{1} << Bits) - 1;
  FAcc = (FAcc << Bits) | (Value & Mask);
  FPending += Bits;
  while (FPending >= 16) {
    FPending -= 16;
    const uint16_t Word = static_cast<uint16_t>(FAcc >> FPending);
    FOut->push_back(static_cast<uint8_t>(Word & 0xFF));
    FOut->push_back(static_cast<uint8_t>(Word >> 8));
  }
  FAcc &= (uint64_t{1} << FPending) - 1;
}

void TBitWriter::Align() {
  if (FPending > 0) Put(0, 16 - FPending);
}

std::vector<uint8_t> CodeLengths(const uint32_t* Freq, int Count, int MaxLen) {
  std::vector<uint8_t> Lengths(Count, 0);
  std::vector<uint32_t> F(Freq, Freq + Count);
  std::vector<int> Used;
  for (int S = 0; S < Count; ++S)
    if (F[S] > 0) Used.push_back(S);
  if (Used.empty()) return Lengths;
  if (Used.size() == 1) {
    // A one-codeword code is incomplete; a partner of length 1 completes it.
    const int Partner = Used[0] == 0 ? 1 : 0;
    F[Partner] = 1;
    Used.insert(Partner < Used[0] ? Used.begin() : Used.end(), Partner);
  }
  const int M = static_cast<int>(Used.size());
  std::vector<uint64_t> Weight(2 * M - 1);
  std::vector<int> Parent(2 * M - 1);
  std::vector<int> Depth(2 * M - 1);
  for (;;) {
    std::vector<int> Leaves = Used;
    std::stable_sort(Leaves.begin(), Leaves.end(), [&](int A, int B) { return F[A] < F[B]; });
    for (int I = 0; I < M; ++I) Weight[I] = F[Leaves[I]];
    // Two queues: sorted leaves, and internal nodes in the order they are made
    // (their weights never decrease).
    int NextLeaf = 0, NextInner = M, Made = M;
    auto Pick = [&]() {
      if (NextLeaf < M && (NextInner >= Made || Weight[NextLeaf] <= Weight[NextInner])) return NextLeaf++;
      return NextInner++;
    };
    while (Made < 2 * M - 1) {
      const int A = Pick();
      const int B = Pick();
      Weight[Made] = Weight[A] + Weight[B];
      Parent[A] = Parent[B] = Made;
      ++Made;
    }
    Depth[2 * M - 2] = 0;
    for (int I = 2 * M - 3; I >= 0; --I) Depth[I] = Depth[Parent[I]] + 1;
    int Longest = 0;
    for (int I = 0; I < M; ++I) Longest = std::max(Longest, Depth[I]);
    if (Longest <= MaxLen) {
      for (int I = 0; I < M; ++I) Lengths[Leaves[I]] = static_cast<uint8_t>(Depth[I]);
      return Lengths;
    }
    // Flatten the distribution and try again; with all weights 1 the tree is
    // balanced, so this ends.
    for (int S : Used) F[S] = (F[S] + 1) / 2;
  }
}

std::vector<uint16_t> CanonicalCodes(const uint8_t* Lengths, int Count) {
  uint32_t LengthCount[33] = {};
  for (int S = 0; S < Count; ++S)
    if (Lengths[S] > 0) ++LengthCount[Lengths[S]];
  uint32_t Next[33] = {};
  for (int L = 2; L <= 32; ++L) Next[L] = (Next[L - 1] + LengthCount[L - 1]) << 1;
  std::vector<uint16_t> Codes(Count, 0);
  for (int S = 0; S < Count; ++S)
    if (Lengths[S] > 0) Codes[S] = static_cast<uint16_t>(Next[Lengths[S]]++);
  return Codes;
}

int FooterBits(int Slot) {
  if (Slot < 4) return 0;
  if (Slot < 36) return Slot / 2 - 1;
  return 17;
}

uint32_t SlotBase(int Slot) {
  uint32_t Base = 0;
  for (int S = 0; S < Slot; ++S) Base += uint32_t{1} << FooterBits(S);
  return Base;
}

int PositionSlot(uint32_t Formatted) {
  const int K = std::bit_width(Formatted) - 1;
  return 2 * K + static_cast<int>((Formatted >> (K - 1)) & 1);
}

namespace {
// Moves Dist to the front of the three repeated offsets, as the decoder
// does: the slot (0 to 2) it was found in, or -1 when it is a new offset,
// which pushes the oldest out.
int UseOffset(std::array<uint32_t, 3>& R, uint32_t Dist) {
  if (Dist == R[0]) return 0;
  if (Dist == R[1]) {
    std::swap(R[0], R[1]);
    return 1;
  }
  if (Dist == R[2]) {
    std::swap(R[0], R[2]);
    return 2;
  }
  R[2] = R[1];
  R[1] = R[0];
  R[0] = Dist;
  return -1;
}

struct TSlotTable {
  uint32_t Base[kPositionSlots];
  TSlotTable() {
    for (int S = 0; S < kPositionSlots; ++S) Base[S] = SlotBase(S);
  }
};
const TSlotTable& Slots() {
  static const TSlotTable Table;
  return Table;
}
}  // namespace

namespace {

// The match finder's tables. Kept from chunk to chunk: fresh ones would
// cost a page fault every 4 KiB of them.
struct TMatchTables {
  std::vector<uint32_t> Head = std::vector<uint32_t>(size_t{1} << kHashBits);
  std::vector<uint32_t> Prev = std::vector<uint32_t>(kWindowSize);
};

// Finds the matches of one chunk of frames. Positions count from the start
// of the buffer, which holds up to a window's worth of the folder's bytes
// before the chunk (the chunk's matches may reach back into them), then the
// chunk, then slack.
class TChunkParser {
 public:
  // Only the heads are cleared: an entry of Prev is read only for a
  // position this chunk has inserted, and so written.
  TChunkParser(const uint8_t* Buf, uint64_t End, TMatchTables& Tables)
      : FBuf(Buf), FDataEnd(End), FHead(Tables.Head), FPrev(Tables.Prev) {
    std::fill(FHead.begin(), FHead.end(), 0);
  }
  TParsedFrame ParseFrame(uint64_t Start, uint64_t End);

 private:
  void InsertUpTo(uint64_t Pos);
  uint32_t MatchLength(uint64_t Pos, uint32_t Dist, uint32_t MaxLen) const;
  // Best match at Pos; returns its length (0 when none worth coding).
  uint32_t FindMatch(uint64_t Pos, uint32_t MaxLen, uint32_t& Dist);
  // The repeated offsets after a match, as the coder will keep them; the
  // chunk starts from the folder's initial ones, which only steers which
  // matches are preferred.

  const uint8_t* FBuf;
  uint64_t FDataEnd;
  uint64_t FNextInsert = 0;
  uint32_t FLiterals = 0;        // literals in a row, across frames
  std::vector<uint32_t>& FHead;  // position + 1 of the newest entry per hash, 0 = none
  std::vector<uint32_t>& FPrev;  // per position mod W: position + 1 of the next older entry
  std::array<uint32_t, 3> FR{1, 1, 1};
};

void TChunkParser::InsertUpTo(uint64_t Pos) {
  // Runs coded with repeated offsets insert nothing, so the next position to
  // insert can lie far behind; what is out of reach is skipped.
  const uint64_t Reach = Pos > kWindowSize ? Pos - kWindowSize : 0;
  uint64_t Q = std::max(FNextInsert, Reach);
  for (; Q < Pos && Q + 3 < FDataEnd; ++Q) {
    const uint32_t H = Hash4(FBuf + Q);
    FPrev[Q & kWindowMask] = FHead[H];
    FHead[H] = static_cast<uint32_t>(Q + 1);
  }
  FNextInsert = Q;
}

uint32_t TChunkParser::MatchLength(uint64_t Pos, uint32_t Dist, uint32_t MaxLen) const {
  const uint8_t* A = FBuf + Pos;
  const uint8_t* B = A - Dist;
  uint32_t Len = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (Len < MaxLen) {
      uint64_t WA, WB;
      std::memcpy(&WA, A + Len, 8);
      std::memcpy(&WB, B + Len, 8);
      const uint64_t X = WA ^ WB;
      if (X != 0) return std::min(MaxLen, Len + static_cast<uint32_t>(std::countr_zero(X) / 8));
      Len += 8;
    }
    return MaxLen;
  } else {
    while (Len < MaxLen && A[Len] == B[Len]) ++Len;
    return Len;
  }
}

uint32_t TChunkParser::FindMatch(uint64_t Pos, uint32_t MaxLen, uint32_t& Dist) {
  // The buffer starts a whole window before the chunk, or at the folder's
  // start: no distance reaches before either.
  const uint32_t MaxDist = static_cast<uint32_t>(std::min<uint64_t>(Pos, kMaxDistance));
  const uint8_t* Here = FBuf + Pos;
  uint32_t RepLen = 0, RepDist = 0;
  for (uint32_t D : FR) {
    if (D > MaxDist || Load16(Here) != Load16(Here - D)) continue;
    const uint32_t L = MatchLength(Pos, D, MaxLen);
    if (L > RepLen) {
      RepLen = L;
      RepDist = D;
    }
  }
  if (RepLen >= 2 && (RepLen >= MaxLen || RepLen >= kNiceLength)) {
    Dist = RepDist;
    return RepLen;
  }

  InsertUpTo(Pos);
  uint32_t ChainLen = 0, ChainDist = 0;
  if (Pos + 3 < FDataEnd && MaxLen >= 4) {
    uint32_t Entry = FHead[Hash4(Here)];
    for (int Depth = kMaxChain; Entry != 0 && Depth > 0; --Depth) {
      const uint64_t Cand = Entry - 1;
      const uint64_t D = Pos - Cand;
      if (D > MaxDist) break;
      const uint8_t* There = Here - D;
      if (There[ChainLen] == Here[ChainLen] && Load16(There) == Load16(Here)) {
        const uint32_t L = MatchLength(Pos, static_cast<uint32_t>(D), MaxLen);
        if (L > ChainLen) {
          if (L >= kGoodLength && ChainLen < kGoodLength) Depth /= 4;
          ChainLen = L;
          ChainDist = static_cast<uint32_t>(D);
          if (L >= MaxLen || L >= kNiceLength) break;
        }
      }
      Entry = FPrev[Cand & kWindowMask];
    }
  }
  if (ChainLen < 3 || (ChainLen == 3 && ChainDist > kFarShortMatch)) ChainLen = 0;

  // A repeated offset codes without footer bits, so it wins near-ties.
  if (RepLen >= 2 && RepLen + 1 >= ChainLen) {
    Dist = RepDist;
    return RepLen;
  }
  Dist = ChainDist;
  return ChainLen;
}

TParsedFrame TChunkParser::ParseFrame(uint64_t Start, uint64_t End) {
  TParsedFrame Codes;
  Codes.reserve((End - Start) / 4);
  auto Literal = [&](uint64_t P) { Codes.push_back(FBuf[P]); };
  auto Limit = [&](uint64_t P) { return static_cast<uint32_t>(std::min<uint64_t>(kMaxMatch, End - P)); };
  uint64_t P = Start;
  uint32_t Len = 0, Dist = 0;
  bool Pending = false;  // Len/Dist already hold the match found at P
  while (P < End) {
    if (!Pending) {
      const uint32_t MaxLen = Limit(P);
      bool Skip = false;
      if (FLiterals >= kSkipAfterLiterals) {
        Skip = (P & (FLiterals >= 16 * kSkipAfterLiterals ? 15 : 3)) != 0;
        // Positions passed over are not worth a place in the chains either.
        if (!Skip) FNextInsert = std::max(FNextInsert, P);
      }
      Len = MaxLen >= kMinMatch && !Skip ? FindMatch(P, MaxLen, Dist) : 0;
    }
    Pending = false;
    if (Len == 0) {
      Literal(P++);
      ++FLiterals;
      continue;
    }
    FLiterals = 0;
    if (Len < kLazyLimit && P + 1 < End) {
      const uint32_t MaxLen = Limit(P + 1);
      uint32_t NextDist = 0;
      const uint32_t NextLen = MaxLen >= kMinMatch ? FindMatch(P + 1, MaxLen, NextDist) : 0;
      // Rough bits saved by a match: eight per byte, less what its offset
      // costs. The next position must win by a byte's worth to be taken.
      auto Score = [&](uint32_t L, uint32_t D) -> int64_t {
        if (L == 0) return 0;
        const bool Rep = D == FR[0] || D == FR[1] || D == FR[2];
        return int64_t{L} * 8 - (Rep ? 2 : FooterBits(PositionSlot(D + 2)) + 4);
      };
      if (Score(NextLen, NextDist) > Score(Len, Dist) + 8) {
        Literal(P++);
        Len = NextLen;
        Dist = NextDist;
        Pending = true;
        continue;
      }
    }
    Codes.push_back(kMatchCode | (Len - 2) << 18 | Dist);
    UseOffset(FR, Dist);
    P += Len;
  }
  return Codes;
}

std::vector<TParsedFrame> ParseChunk(const uint8_t* Buf, size_t History, const std::vector<uint32_t>& FrameSizes,
                                     TMatchTables& Tables) {
  uint64_t End = History;
  for (uint32_t Size : FrameSizes) End += Size;
  TChunkParser Parser(Buf, End, Tables);
  std::vector<TParsedFrame> Frames;
  uint64_t At = History;
  for (uint32_t Size : FrameSizes) {
    Frames.push_back(Parser.ParseFrame(At, At + Size));
    At += Size;
  }
  return Frames;
}

}  // namespace

struct TEncoder::TTablePool {
  std::mutex Lock;
  std::vector<std::unique_ptr<TMatchTables>> Free;
  std::unique_ptr<TMatchTables> Take() {
    const std::lock_guard<std::mutex> Hold(Lock);
    if (Free.empty()) return std::make_unique<TMatchTables>();
    std::unique_ptr<TMatchTables> Tables = std::move(Free.back());
    Free.pop_back();
    return Tables;
  }
  void Give(std::unique_ptr<TMatchTables> Tables) {
    const std::lock_guard<std::mutex> Hold(Lock);
    Free.push_back(std::move(Tables));
  }
};

struct TEncoder::TJob {
  std::vector<uint8_t> Data;  // the window before the chunk, the chunk, slack
  size_t History = 0;
  std::vector<uint32_t> FrameSizes;
  std::future<std::vector<TParsedFrame>> Parsed;  // declared after Data: waited for before Data goes
  std::vector<TParsedFrame> Frames;               // once Parsed has delivered
  bool Ready = false;
  size_t Next = 0;        // the next frame to code
  size_t NextOffset = 0;  // and where it starts in Data
};

TEncoder::TEncoder(unsigned Threads)
    : FThreads(Threads ? Threads : std::min(UsableCpus(), kMaxThreads)), FTables(std::make_unique<TTablePool>()) {
  Reset();
}

TEncoder::~TEncoder() = default;

void TEncoder::Reset() {
  FJobs.clear();
  FHistory.clear();
  FPending.clear();
  FPendingSizes.clear();
  FBits = TBitWriter();
  FUncompressedFrames = 0;
  FAlignedFrames = 0;
  FHeaderWritten = false;
  FShortFrameSeen = false;
  FR = {1, 1, 1};
  FPrevMain.fill(0);
  FPrevLength.fill(0);
}

void TEncoder::AddFrame(const uint8_t* Data, size_t Size) {
  if (Size == 0 || Size > kFrameSize) throw std::logic_error("LZX frame size out of range");
  if (FShortFrameSeen) throw std::logic_error("LZX frame after the folder's last frame");
  if (Size < kFrameSize) FShortFrameSeen = true;
  FPending.insert(FPending.end(), Data, Data + Size);
  FPendingSizes.push_back(static_cast<uint32_t>(Size));
  if (FPendingSizes.size() >= kChunkFrames) Dispatch();
}

void TEncoder::Dispatch() {
  if (FPendingSizes.empty()) return;
  auto Job = std::make_unique<TJob>();
  Job->History = FHistory.size();
  Job->Data.reserve(FHistory.size() + FPending.size() + kBufSlack);
  Job->Data = FHistory;
  Job->Data.insert(Job->Data.end(), FPending.begin(), FPending.end());
  const size_t Kept = std::min<size_t>(Job->Data.size(), kWindowSize);
  FHistory.assign(Job->Data.end() - static_cast<std::ptrdiff_t>(Kept), Job->Data.end());
  Job->Data.resize(Job->Data.size() + kBufSlack, 0);
  Job->FrameSizes = std::move(FPendingSizes);
  FPendingSizes.clear();
  FPending.clear();
  TJob* J = Job.get();
  TTablePool* Pool = FTables.get();
  Job->Parsed = std::async(FThreads > 1 ? std::launch::async : std::launch::deferred, [J, Pool] {
    std::unique_ptr<TMatchTables> Tables = Pool->Take();
    std::vector<TParsedFrame> Frames = ParseChunk(J->Data.data(), J->History, J->FrameSizes, *Tables);
    Pool->Give(std::move(Tables));
    return Frames;
  });
  FJobs.push_back(std::move(Job));
}

bool TEncoder::TakePayload(std::vector<uint8_t>& Payload, uint32_t& FrameSize, bool All) {
  if (All) Dispatch();
  if (FJobs.empty()) return false;
  TJob& Job = *FJobs.front();
  if (!Job.Ready) {
    // More chunks queued than threads: the caller waits for the oldest
    // rather than piling up data.
    const bool Wait = All || FJobs.size() > FThreads;
    if (!Wait && Job.Parsed.wait_for(std::chrono::seconds(0)) == std::future_status::timeout) return false;
    Job.Frames = Job.Parsed.get();
    Job.Ready = true;
    Job.NextOffset = Job.History;
  }
  FrameSize = Job.FrameSizes[Job.Next];
  CodeFrame(Job.Data.data() + Job.NextOffset, FrameSize, Job.Frames[Job.Next], Payload);
  Job.NextOffset += FrameSize;
  if (++Job.Next == Job.FrameSizes.size()) FJobs.pop_front();
  return true;
}

void TEncoder::AddMatch(uint32_t Len, uint32_t Dist) {
  uint32_t Footer = 0;
  int Bits = 0;
  int Slot = UseOffset(FR, Dist);
  if (Slot < 0) {
    const uint32_t Formatted = Dist + 2;
    Slot = PositionSlot(Formatted);
    Footer = Formatted - Slots().Base[Slot];
    Bits = FooterBits(Slot);
  }
  const uint32_t Header = std::min<uint32_t>(Len - 2, 7);
  TToken T;
  T.Main = static_cast<uint16_t>(256 + 8 * Slot + Header);
  T.LengthSym = static_cast<uint8_t>(Header == 7 ? Len - 9 : 0);
  T.FooterBits = static_cast<uint8_t>(Bits);
  T.Footer = Footer;
  FTokens.push_back(T);
}

void TEncoder::WriteTreeSection(const uint8_t* NewLens, uint8_t* PrevLens, int Count) {
  struct TPre {
    uint8_t Sym, ExtraBits, Extra;
    int8_t Follow;  // delta symbol that follows a run of equal lengths, or -1
  };
  std::vector<TPre> Toks;
  uint32_t Freq[kPreTreeSymbols] = {};
  auto Delta = [&](int I) { return static_cast<uint8_t>((PrevLens[I] - NewLens[I] + 17) % 17); };
  int I = 0;
  while (I < Count) {
    if (NewLens[I] == 0) {
      int Z = 0;
      while (I + Z < Count && NewLens[I + Z] == 0) ++Z;
      if (Z >= 20) {
        const int R = std::min(Z, 51);
        Toks.push_back({18, 5, static_cast<uint8_t>(R - 20), -1});
        ++Freq[18];
        I += R;
        continue;
      }
      if (Z >= 4) {
        const int R = std::min(Z, 19);
        Toks.push_back({17, 4, static_cast<uint8_t>(R - 4), -1});
        ++Freq[17];
        I += R;
        continue;
      }
    }
    int E = 1;
    while (E < 5 && I + E < Count && NewLens[I + E] == NewLens[I]) ++E;
    if (E >= 4) {
      const uint8_t D = Delta(I);
      Toks.push_back({19, 1, static_cast<uint8_t>(E - 4), static_cast<int8_t>(D)});
      ++Freq[19];
      ++Freq[D];
      I += E;
      continue;
    }
    const uint8_t D = Delta(I);
    Toks.push_back({D, 0, 0, -1});
    ++Freq[D];
    ++I;
  }
  const std::vector<uint8_t> Lens = CodeLengths(Freq, kPreTreeSymbols, 15);
  const std::vector<uint16_t> Codes = CanonicalCodes(Lens.data(), kPreTreeSymbols);
  for (int S = 0; S < kPreTreeSymbols; ++S) FBits.Put(Lens[S], 4);
  for (const TPre& T : Toks) {
    FBits.Put(Codes[T.Sym], Lens[T.Sym]);
    FBits.Put(T.Extra, T.ExtraBits);
    if (T.Follow >= 0) FBits.Put(Codes[T.Follow], Lens[T.Follow]);
  }
  std::memcpy(PrevLens, NewLens, Count);
}

bool TEncoder::WriteCompressedBlock(uint32_t Size) {
  uint32_t MainFreq[kMainSymbols] = {};
  uint32_t LengthFreq[kLengthSymbols] = {};
  uint32_t AlignedFreq[kAlignedSymbols] = {};
  for (const TToken& T : FTokens) {
    ++MainFreq[T.Main];
    if (T.Main >= 256 && ((T.Main - 256) & 7) == 7) ++LengthFreq[T.LengthSym];
    if (T.FooterBits >= 3) ++AlignedFreq[T.Footer & 7];
  }
  const std::vector<uint8_t> MainLens = CodeLengths(MainFreq, kMainSymbols, 16);
  const std::vector<uint8_t> LengthLens = CodeLengths(LengthFreq, kLengthSymbols, 16);
  const std::vector<uint8_t> AlignedLens = CodeLengths(AlignedFreq, kAlignedSymbols, 7);

  // The aligned tree replaces three raw footer bits per long offset and costs
  // 24 bits to send. No long offset at all leaves it empty, which decoders
  // refuse, so the block stays verbatim then.
  int64_t Saving = -3 * kAlignedSymbols;
  for (int S = 0; S < kAlignedSymbols; ++S) Saving += int64_t{AlignedFreq[S]} * (3 - AlignedLens[S]);
  const bool Aligned = Saving > 0;

  FBits.Put(Aligned ? 2 : 1, 3);
  FBits.Put(Size >> 8, 16);
  FBits.Put(Size & 0xFF, 8);
  if (Aligned)
    for (int S = 0; S < kAlignedSymbols; ++S) FBits.Put(AlignedLens[S], 3);
  WriteTreeSection(MainLens.data(), FPrevMain.data(), 256);
  WriteTreeSection(MainLens.data() + 256, FPrevMain.data() + 256, kMainSymbols - 256);
  WriteTreeSection(LengthLens.data(), FPrevLength.data(), kLengthSymbols);

  const std::vector<uint16_t> MainCodes = CanonicalCodes(MainLens.data(), kMainSymbols);
  const std::vector<uint16_t> LengthCodes = CanonicalCodes(LengthLens.data(), kLengthSymbols);
  const std::vector<uint16_t> AlignedCodes = CanonicalCodes(AlignedLens.data(), kAlignedSymbols);
  for (const TToken& T : FTokens) {
    FBits.Put(MainCodes[T.Main], MainLens[T.Main]);
    if (T.Main < 256) continue;
    if (((T.Main - 256) & 7) == 7) FBits.Put(LengthCodes[T.LengthSym], LengthLens[T.LengthSym]);
    if (Aligned && T.FooterBits >= 3) {
      FBits.Put(T.Footer >> 3, T.FooterBits - 3);
      FBits.Put(AlignedCodes[T.Footer & 7], AlignedLens[T.Footer & 7]);
    } else {
      FBits.Put(T.Footer, T.FooterBits);
    }
  }
  return Aligned;
}

void PutUncompressedBlockHeader(TBitWriter& Bits, uint32_t Size) {
  Bits.Put(3, 3);
  Bits.Put(Size >> 8, 16);
  Bits.Put(Size & 0xFF, 8);
  if (Bits.PendingBits() == 0)
    Bits.Put(0, 16);
  else
    Bits.Align();
}

void TEncoder::WriteUncompressedBlock(const uint8_t* Data, uint32_t Size, std::vector<uint8_t>& Payload) {
  PutUncompressedBlockHeader(FBits, Size);
  for (uint32_t R : FR)
    for (int B = 0; B < 4; ++B) Payload.push_back(static_cast<uint8_t>(R >> (8 * B)));
  Payload.insert(Payload.end(), Data, Data + Size);
  // Only a folder's last frame can be odd-sized, so the pad byte never lands
  // on a frame boundary in the middle of a folder.
  if (Size & 1) Payload.push_back(0);
}

void TEncoder::EncodeFrame(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Payload) {
  if (!FJobs.empty() || !FPendingSizes.empty()) throw std::logic_error("LZX frames still queued");
  AddFrame(Data, Size);
  uint32_t FrameSize = 0;
  TakePayload(Payload, FrameSize, true);
}

void TEncoder::CodeFrame(const uint8_t* Data, uint32_t Size, const TParsedFrame& Parsed,
                         std::vector<uint8_t>& Payload) {
  Payload.clear();
  FBits.SetOutput(&Payload);
  if (!FHeaderWritten) {
    FBits.Put(0, 1);  // no E8 translation
    FHeaderWritten = true;
  }
  const TBitWriter::TState SavedBits = FBits.Save();
  const auto SavedR = FR;
  const auto SavedMain = FPrevMain;
  const auto SavedLength = FPrevLength;

  FTokens.clear();
  for (const uint32_t Code : Parsed) {
    if (Code & kMatchCode)
      AddMatch(((Code >> 18) & 0xFF) + 2, Code & 0x3FFFF);
    else
      FTokens.push_back(TToken{static_cast<uint16_t>(Code), 0, 0, 0});
  }
  const bool Aligned = WriteCompressedBlock(Size);
  FBits.Align();
  // An uncompressed block costs its bytes, a pad byte, the header word(s)
  // and the repeated offsets; a compressed one no smaller is not worth it.
  const size_t UncompressedCost = Size + (Size & 1) + 16;
  if (Payload.size() <= FPayloadLimit && Payload.size() < UncompressedCost) {
    if (Aligned) ++FAlignedFrames;
    return;
  }

  // Too big: undo the block's effect on the decoder's state and send the
  // bytes as they are.
  FBits.Restore(SavedBits);
  FR = SavedR;
  FPrevMain = SavedMain;
  FPrevLength = SavedLength;
  Payload.clear();
  WriteUncompressedBlock(Data, Size, Payload);
  ++FUncompressedFrames;
}

}  // namespace lzx
