// The design object's life cycle, the factory that picks its class, the
// module state of one load, and the owning list of all objects.
#include "MorvoObject.h"

#include <algorithm>

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
  FEntries.push_back({key, object});
  IndexAdd(Count() - 1);
}

void TAllObjectList::SetKey(int i, const std::string& key) {
  IndexRemove(i);
  FEntries[static_cast<size_t>(i)].Key = key;
  IndexAdd(i);
}

int TAllObjectList::IndexOfKey(const std::string& key) const {
  const auto it = FIndex.find(FoldCase(key));
  if (it == FIndex.end() || it->second.empty()) return -1;
  return *it->second.begin();
}

void TAllObjectList::Clear() {
  // Objects never own each other (children and links are plain pointers),
  // so destroying them in list order is safe.
  for (auto& e : FEntries) {
    delete e.Object;
    e.Object = nullptr;
  }
  FEntries.clear();
  FIndex.clear();
}

void TAllObjectList::IndexAdd(int i) { FIndex[FoldCase(Key(i))].insert(i); }

void TAllObjectList::IndexRemove(int i) {
  const auto it = FIndex.find(FoldCase(Key(i)));
  if (it == FIndex.end()) return;
  it->second.erase(i);
  if (it->second.empty()) FIndex.erase(it);
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

std::unique_ptr<TisMorvoObject> CreateObjectForHeader(const std::string& HeaderLine) {
  int t = 0;
  {
    // The probe only reads the header; the base type number decides the
    // class, never a subclass refinement. It is released also when the
    // type-number table cannot be read.
    TisMorvoObject probe;
    probe.ParseHeader(HeaderLine);
    t = probe.TisMorvoObject::GetTypeNumber();
  }
  std::unique_ptr<TisMorvoObject> obj;
  switch (t) {
    case 10:
      obj = std::make_unique<TisMorvoObject_Input_Struct>();
      break;
    case 101:
      obj = std::make_unique<TisMorvoObject_Translate_Table>();
      break;
    case 401:
    case 402:
      obj = std::make_unique<TisMorvoObject_Segment>();
      break;
    case 501:
      obj = std::make_unique<TisMorvoObject_ODElement>();
      break;
    case 701:
    case 702:
      obj = std::make_unique<TisMorvoObject_PFC>();
      break;
    case 801:
      obj = std::make_unique<TisMorvoObject_If>();
      break;
    case 802:
      obj = std::make_unique<TisMorvoObject_OoMD>();
      break;
    case 803:
      obj = std::make_unique<TisMorvoObject_OoML>();
      break;
    case 903:
      obj = std::make_unique<TisMorvoObject_DC_ExtFiles>();
      break;
    case 1001:
      obj = std::make_unique<TisMorvoObject_Base_Document>();
      break;
    default:
      obj = std::make_unique<TisMorvoObject>();
      break;
  }
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
