// The design object's life cycle, the factory that picks its class, the
// module state of one load, and the owning list of all objects.
#include "MorvoObject.h"

#include <algorithm>
#include <cstring>

#include "FactoryClasses.h"
#include "TextCompare.h"

std::unique_ptr<TAllObjectList> gAllObjects;
std::unique_ptr<TObjectList> gTopObjects;
std::unique_ptr<TObjectList> gRootObjects;
std::unique_ptr<TStringList> gTypeNumTable;
std::unique_ptr<TTaggedLineList> gPropNameTable;
std::unique_ptr<TLongIntArray> gRuntimeIds;
std::unique_ptr<TLongIntArray> gSpecialIds;
std::unique_ptr<TLongIntArray> gMultiLineIds;
std::unique_ptr<TLongIntArray> gIntValueIds;
std::unique_ptr<TProfileFile> gCfgIni;
std::unique_ptr<TStringList> gFieldFilter;
std::unique_ptr<TLongIntArray> gExtraFieldIds;
int gViewMode = 0;
std::array<std::string, kPropArraySize> gPropNames;
std::array<std::string, kPropArraySize> gPropValues;
const TisMorvoObject* gPropArraysObject = nullptr;
bool gLoading = false;

// ---------------------------------------------------------------------------
// TAllObjectList

TAllObjectList::~TAllObjectList() { Clear(); }

void TAllObjectList::Append(const std::string& key, TisMorvoObject* object) {
  FEntries.emplace_back();
  FEntries.back().Key = key;
  FEntries.back().Object = object;
  FPrev.push_back(-1);
  FNext.push_back(-1);
  FHashes.push_back(HashKey(key));
  IndexAdd(Count() - 1);
}

void TAllObjectList::SetKey(int i, const std::string& key) {
  std::string& current = FEntries[static_cast<size_t>(i)].Key;
  // A key that folds the same stays in its chain (same hash, same place).
  if (SameTextCI(current, key)) {
    current = key;
    return;
  }
  IndexRemove(i);
  current = key;
  FHashes[static_cast<size_t>(i)] = HashKey(key);
  IndexAdd(i);
}

void TAllObjectList::Reserve(size_t count) {
  FEntries.reserve(count);
  FPrev.reserve(count);
  FNext.reserve(count);
  FHashes.reserve(count);
  const size_t capacity = SlotsFor(count);
  if (capacity > FSlots.size()) Rehash(capacity);
}

// Room for at least a quarter as many keys again as count before the next
// rehash, so re-keying a long list cannot rehash it over and over.
size_t TAllObjectList::SlotsFor(size_t count) {
  size_t capacity = 16;
  while (capacity < 2 * count + count / 2 + 4) capacity *= 2;
  return capacity;
}

int TAllObjectList::IndexOfKey(const std::string& key) const {
  if (FSlots.empty()) return -1;
  return std::max(FSlots[FindSlot(key, HashKey(key))].FHead, -1);
}

int TAllObjectList::FirstOfKey(int i) const {
  // Nearly every key is carried once: the entry is its own first. A long
  // run of one key is looked up rather than walked.
  int first = i;
  for (int steps = 0; steps < 8; ++steps) {
    const int prev = FPrev[static_cast<size_t>(first)];
    if (prev < 0) return first;
    first = prev;
  }
  return IndexOfKey(Key(i));
}

void TAllObjectList::Clear() {
  // Objects never own each other (children and links are plain pointers),
  // so destroying them in list order is safe.
  for (auto& e : FEntries) {
    delete e.Object;
    e.Object = nullptr;
  }
  TObjectList().swap(FEntries);
  std::vector<int>().swap(FPrev);
  std::vector<int>().swap(FNext);
  std::vector<uint32_t>().swap(FHashes);
  std::vector<TSlot>().swap(FSlots);
  FUsedSlots = 0;
}

// The hash of the case-folded key. Keys are nearly always ASCII (GUIDs,
// names): those are folded eight bytes at a time on the fly, without building
// the folded text; any other key is folded in full first, which gives the
// same hash for an ASCII key that another key folds to.
uint32_t TAllObjectList::HashKey(const std::string& key) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  auto hashAscii = [](const char* p, size_t n, uint64_t& h) {
    for (; n > 0;) {
      uint64_t w = 0;
      const size_t take = n < 8 ? n : 8;
      std::memcpy(&w, p, take);
      if (w & kHigh) return false;
      // Bytes 'A'..'Z' get their 0x20 bit: the first sum carries into the
      // high bit from 'A' on, the second from '[' on.
      const uint64_t fromA = w + 0x3F3F3F3F3F3F3F3FULL;
      const uint64_t pastZ = w + 0x2525252525252525ULL;
      w |= ((fromA & ~pastZ) & kHigh) >> 2;
      h = (h ^ w) * kMul;
      h ^= h >> 32;
      p += take;
      n -= take;
    }
    return true;
  };
  uint64_t h = 0x243F6A8885A308D3ULL ^ key.size();
  if (!hashAscii(key.data(), key.size(), h)) {
    const std::string folded = FoldCase(key);
    h = 0x243F6A8885A308D3ULL ^ folded.size();
    if (!hashAscii(folded.data(), folded.size(), h)) {
      // Still not ASCII after folding: hashed as the folded bytes are.
      h = 0x243F6A8885A308D3ULL ^ folded.size();
      for (size_t k = 0; k < folded.size(); k += 8) {
        uint64_t w = 0;
        std::memcpy(&w, folded.data() + k, std::min<size_t>(8, folded.size() - k));
        h = (h ^ w) * kMul;
        h ^= h >> 32;
      }
    }
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ULL;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

size_t TAllObjectList::FindSlot(const std::string& key, uint32_t hash) const {
  const size_t mask = FSlots.size() - 1;
  for (size_t k = hash & mask;; k = (k + 1) & mask) {
    const TSlot& slot = FSlots[k];
    if (slot.FHead == -2) return k;
    if (slot.FHead >= 0 && FHashes[static_cast<size_t>(slot.FHead)] == hash &&
        SameTextCI(FEntries[static_cast<size_t>(slot.FHead)].Key, key))
      return k;
  }
}

void TAllObjectList::Rehash(size_t capacity) {
  std::vector<TSlot>(capacity).swap(FSlots);
  FUsedSlots = 0;
  std::fill(FPrev.begin(), FPrev.end(), -1);
  std::fill(FNext.begin(), FNext.end(), -1);
  // Entries in list order: every chain is built by appending at its end.
  for (int i = 0; i < Count(); ++i) {
    const uint32_t h = FHashes[static_cast<size_t>(i)];
    TSlot& slot = FSlots[FindSlot(Key(i), h)];
    if (slot.FHead == -2) {
      slot = {i, i};
      ++FUsedSlots;
    } else {
      FNext[static_cast<size_t>(slot.FTail)] = i;
      FPrev[static_cast<size_t>(i)] = slot.FTail;
      slot.FTail = i;
    }
  }
}

void TAllObjectList::IndexAdd(int i) {
  // At most half the slots taken, counting those whose key has left.
  if (2 * (FUsedSlots + 1) > FSlots.size()) {
    Rehash(SlotsFor(static_cast<size_t>(Count())));  // also indexes entry i
    return;
  }
  const uint32_t h = FHashes[static_cast<size_t>(i)];
  TSlot& slot = FSlots[FindSlot(Key(i), h)];
  const auto at = static_cast<size_t>(i);
  if (slot.FHead == -2) {
    slot = {i, i};
    FPrev[at] = FNext[at] = -1;
    ++FUsedSlots;
    return;
  }
  // Keep the chain ascending. Entries are appended, and re-keyed in list
  // order, so the new one nearly always goes at the end.
  int before = -1;  // the entry i goes in front of
  if (i < slot.FTail) {
    // Walk in from both ends at once: the steps taken are bounded by the
    // smaller side, so many objects re-keyed to one caption that a later
    // entry already carries are not walked past again and again.
    int lo = slot.FHead, hi = slot.FTail;  // hi > i throughout
    for (;;) {
      if (lo > i) {
        before = lo;
        break;
      }
      const int prev = FPrev[static_cast<size_t>(hi)];
      if (prev < i) {
        before = hi;
        break;
      }
      lo = FNext[static_cast<size_t>(lo)];
      hi = prev;
    }
  }
  const int after = before < 0 ? slot.FTail : FPrev[static_cast<size_t>(before)];
  FPrev[at] = after;
  FNext[at] = before;
  if (after >= 0)
    FNext[static_cast<size_t>(after)] = i;
  else
    slot.FHead = i;
  if (before >= 0)
    FPrev[static_cast<size_t>(before)] = i;
  else
    slot.FTail = i;
}

void TAllObjectList::IndexRemove(int i) {
  if (FSlots.empty()) return;
  TSlot& slot = FSlots[FindSlot(Key(i), FHashes[static_cast<size_t>(i)])];
  if (slot.FHead < 0) return;
  const auto at = static_cast<size_t>(i);
  const int prev = FPrev[at], next = FNext[at];
  if (prev >= 0)
    FNext[static_cast<size_t>(prev)] = next;
  else
    slot.FHead = next;  // -1 when the key has no entry left
  if (next >= 0)
    FPrev[static_cast<size_t>(next)] = prev;
  else
    slot.FTail = prev;
  FPrev[at] = FNext[at] = -1;
}

// ---------------------------------------------------------------------------
// TisMorvoObject: life cycle

// The four containers are members, so they exist from construction on and
// are released (in reverse declaration order) by the destructor; the objects
// that FChildren and FLinks point to are not touched.
TisMorvoObject::TisMorvoObject() = default;
TisMorvoObject::~TisMorvoObject() = default;

std::string TisMorvoObject::EncodeDelimiters(const std::string& S) {
  if (S.empty()) return {};
  const char delim = S[0];
  std::string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] != delim) {
      r += S[i];
    } else if (i + 1 < S.size() && S[i + 1] == delim) {
      r += delim;  // a doubled delimiter stands for itself
      ++i;
    } else {
      r += '\x87';
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// Factory

std::unique_ptr<TisMorvoObject> CreateObjectForHeader(std::string_view HeaderLine) {
  return CreateObjectForTypeName(HeaderTypeName(HeaderLine));
}

std::unique_ptr<TisMorvoObject> CreateObjectForTypeName(const std::string& TypeName) {
  int t = 0;
  {
    // The probe only knows the type name; the base type number decides the
    // class, never a subclass refinement. It is released also when the
    // type-number table cannot be read.
    TisMorvoObject probe;
    probe.FTypeName = TypeName;
    t = probe.TisMorvoObject::GetTypeNumber();
  }
  std::unique_ptr<TisMorvoObject> obj = NewListedObject(TFactoryClasses{}, t);
  obj->FBaseTypeNr = t;
  return obj;
}

// ---------------------------------------------------------------------------
// Releasing a load

void FreeAllObjects() {
  // A read in progress still holds pointers into these lists (the message
  // pump runs user actions in the middle of it); releasing them then would
  // leave the reader with dangling objects.
  if (gLoading) return;
  gTypeNumTable.reset();
  gTopObjects.reset();
  gPropNameTable.reset();
  gRootObjects.reset();
  gCfgIni.reset();
  gFieldFilter.reset();
  gExtraFieldIds.reset();
  if (gAllObjects) {
    gAllObjects->Clear();
    gAllObjects.reset();
  }
  // The view arrays keep their texts; their cache key is the GUID, but the
  // object pointer kept beside it would dangle now.
  gPropArraysObject = nullptr;
}

namespace {
// Runs when the module ends: releases the last load and empties the view
// arrays. Defined after the module state, so it is destroyed before it.
struct TModuleFinalization {
  ~TModuleFinalization() {
    gLoading = false;
    FreeAllObjects();
    for (auto& s : gPropNames) s.clear();
    for (auto& s : gPropValues) s.clear();
  }
} gModuleFinalization;
}  // namespace
