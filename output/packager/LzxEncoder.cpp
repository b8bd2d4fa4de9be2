#include "LzxEncoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace lzx {

namespace {

constexpr int kHashBits = 18;
constexpr uint32_t kWindowMask = kWindowSize - 1;
// Positions kept in memory: the whole window plus room for new frames, so
// the window is shifted down only once every 256 KiB.
constexpr size_t kBufCapacity = 2 * size_t{kWindowSize};
constexpr size_t kBufSlack = 16;  // lets the match compare read whole words
constexpr int kMaxChain = 32;
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

TEncoder::TEncoder() : FBuf(kBufCapacity + kBufSlack, 0), FHead(size_t{1} << kHashBits), FPrev(kWindowSize) { Reset(); }

void TEncoder::Reset() {
  FBits = TBitWriter();
  FUncompressedFrames = 0;
  FAlignedFrames = 0;
  FHeaderWritten = false;
  FShortFrameSeen = false;
  FBufBase = FDataEnd = FNextInsert = 0;
  FLiterals = 0;
  std::fill(FHead.begin(), FHead.end(), 0);
  FR = {1, 1, 1};
  FPrevMain.fill(0);
  FPrevLength.fill(0);
}

void TEncoder::AppendToWindow(const uint8_t* Data, size_t Size) {
  const size_t Held = FDataEnd - FBufBase;
  if (Held + Size > kBufCapacity) {
    const size_t Shift = Held - kWindowSize;
    std::memmove(FBuf.data(), FBuf.data() + Shift, kWindowSize);
    FBufBase += Shift;
  }
  std::memcpy(FBuf.data() + (FDataEnd - FBufBase), Data, Size);
  FDataEnd += Size;
}

void TEncoder::InsertUpTo(uint64_t Pos) {
  // Runs coded with repeated offsets insert nothing, so the next position to
  // insert can lie far behind; what is out of reach is skipped, and it may
  // already have left the buffer.
  const uint64_t Reach = Pos > kWindowSize ? Pos - kWindowSize : 0;
  uint64_t Q = std::max({FNextInsert, Reach, FBufBase});
  for (; Q < Pos && Q + 3 < FDataEnd; ++Q) {
    const uint32_t H = Hash4(FBuf.data() + (Q - FBufBase));
    FPrev[Q & kWindowMask] = FHead[H];
    FHead[H] = static_cast<uint32_t>(Q + 1);
  }
  FNextInsert = Q;
}

uint32_t TEncoder::MatchLength(uint64_t Pos, uint32_t Dist, uint32_t MaxLen) const {
  const uint8_t* A = FBuf.data() + (Pos - FBufBase);
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

uint32_t TEncoder::FindMatch(uint64_t Pos, uint32_t MaxLen, uint32_t& Dist) {
  const uint32_t MaxDist = static_cast<uint32_t>(std::min<uint64_t>(Pos, kMaxDistance));
  const uint8_t* Here = FBuf.data() + (Pos - FBufBase);
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

void TEncoder::AddMatch(uint32_t Len, uint32_t Dist) {
  int Slot;
  uint32_t Footer = 0;
  int Bits = 0;
  if (Dist == FR[0]) {
    Slot = 0;
  } else if (Dist == FR[1]) {
    Slot = 1;
    std::swap(FR[0], FR[1]);
  } else if (Dist == FR[2]) {
    Slot = 2;
    std::swap(FR[0], FR[2]);
  } else {
    const uint32_t Formatted = Dist + 2;
    Slot = PositionSlot(Formatted);
    Footer = Formatted - Slots().Base[Slot];
    Bits = FooterBits(Slot);
    FR[2] = FR[1];
    FR[1] = FR[0];
    FR[0] = Dist;
  }
  const uint32_t Header = std::min<uint32_t>(Len - 2, 7);
  TToken T;
  T.Main = static_cast<uint16_t>(256 + 8 * Slot + Header);
  T.LengthSym = static_cast<uint8_t>(Header == 7 ? Len - 9 : 0);
  T.FooterBits = static_cast<uint8_t>(Bits);
  T.Footer = Footer;
  FTokens.push_back(T);
}

void TEncoder::ParseFrame(uint64_t Start, uint64_t End) {
  FTokens.clear();
  auto Literal = [&](uint64_t P) { FTokens.push_back(TToken{FBuf[P - FBufBase], 0, 0, 0}); };
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
    AddMatch(Len, Dist);
    P += Len;
  }
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
  if (Size == 0 || Size > kFrameSize) throw std::logic_error("LZX frame size out of range");
  if (FShortFrameSeen) throw std::logic_error("LZX frame after the folder's last frame");
  if (Size < kFrameSize) FShortFrameSeen = true;

  AppendToWindow(Data, Size);
  const uint64_t Start = FDataEnd - Size;
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

  ParseFrame(Start, FDataEnd);
  const bool Aligned = WriteCompressedBlock(static_cast<uint32_t>(Size));
  FBits.Align();
  // An uncompressed block costs its bytes, a pad byte, the header word(s)
  // and the repeated offsets; a compressed one no smaller is not worth it.
  const size_t UncompressedCost = Size + (Size & 1) + 16;
  if (Payload.size() <= FPayloadLimit && Payload.size() < UncompressedCost) {
    if (Aligned) ++FAlignedFrames;
    return;
  }

  // Too big: undo the block's effect on the decoder's state and send the
  // bytes as they are. The match finder's tables stay valid as they are.
  FBits.Restore(SavedBits);
  FR = SavedR;
  FPrevMain = SavedMain;
  FPrevLength = SavedLength;
  Payload.clear();
  WriteUncompressedBlock(Data, static_cast<uint32_t>(Size), Payload);
  ++FUncompressedFrames;
}

}  // namespace lzx
