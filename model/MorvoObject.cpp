// Placeholder: the class, the factory and the module state land here.
#include "MorvoObject.h"

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

TAllObjectList::~TAllObjectList() { Clear(); }
void TAllObjectList::Append(const std::string& key, TisMorvoObject* object) { FEntries.push_back({key, object}); }
void TAllObjectList::SetKey(int i, const std::string& key) { FEntries[static_cast<size_t>(i)].Key = key; }
int TAllObjectList::IndexOfKey(const std::string&) const { return -1; }
void TAllObjectList::Clear() {
  for (auto& e : FEntries) delete e.Object;
  FEntries.clear();
  FIndex.clear();
}
void TAllObjectList::IndexAdd(int) {}
void TAllObjectList::IndexRemove(int) {}

TisMorvoObject::TisMorvoObject() = default;
TisMorvoObject::~TisMorvoObject() = default;
std::string TisMorvoObject::EncodeDelimiters(const std::string& S) { return S; }
std::unique_ptr<TisMorvoObject> CreateObjectForHeader(const std::string&) { return std::make_unique<TisMorvoObject>(); }
void FreeAllObjects() {}
