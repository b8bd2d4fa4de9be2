// Type numbers and property names from "ObjectTypNum.txt" and
// "ObjectProperties.txt", both loaded on first need after each load.
#include <string>
#include <unordered_map>
#include <vector>

#include "Accessors.h"
#include "AppPaths.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TextCompare.h"

namespace {

// Indexes of the two tables, built when a table is loaded: asked once per
// header and once per shown property, walking the whole table each time cost
// a fifth of an export. They answer as the walks do.
struct TTypeIndex {
  size_t Lines = 0;
  // Type name -> number, filled as names are asked for: the first line
  // holding the name decides, so only a name's own walk can tell.
  std::unordered_map<std::string, int> Numbers;
};
struct TPropIndex {
  size_t Lines = 0;
  std::unordered_map<int, size_t> LastLineOfId;       // a later line overrides an earlier one
  std::unordered_map<std::string, size_t> FirstType;  // folded part before "=" -> its first line
  // The name of each id from 1 to 9999 as its last line gives it, cut once:
  // an export names every shown property of every object.
  std::vector<std::string> NameOfId;
  // Type name -> the name of id 0 for it, as asked for: an export names
  // the type of every object.
  std::unordered_map<std::string, std::string> NameOfType;
};
// A file of ever new type names must not grow the cache without end.
constexpr size_t kMaxNamedTypes = 4096;
TTypeIndex gTypeIndex;
TPropIndex gPropIndex;

void EnsureTypeNumTable() {
  if (!gTypeNumTable) gTypeNumTable = std::make_unique<TStringList>();
  // A file without lines leaves the table empty, so the next call reads again.
  const bool load = gTypeNumTable->empty();
  if (load) *gTypeNumTable = LoadFileLines(ExecutableFolder() + "ObjectTypNum.txt");
  if (load || gTypeIndex.Lines != gTypeNumTable->size()) {
    gTypeIndex.Numbers.clear();
    gTypeIndex.Lines = gTypeNumTable->size();
  }
}

// The text after the first "=", or the whole line when it has none.
std::string ValueAfterEquals(const std::string& line) {
  const size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(eq + 1);
}

constexpr int kNamedIds = 10000;

void EnsurePropNameTable() {
  if (!gPropNameTable) gPropNameTable = std::make_unique<TTaggedLineList>();
  const bool load = gPropNameTable->empty();
  if (load) {
    TTaggedLineList table;
    for (auto& line : LoadFileLines(ExecutableFolder() + "ObjectProperties.txt")) {
      // Ids are written with four characters ("0338="); "338=" carries none.
      const int tag = TryStrToInt(Copy(line, 1, 4)).value_or(-1);
      table.push_back({std::move(line), tag});
    }
    *gPropNameTable = std::move(table);
  }
  if (!load && gPropIndex.Lines == gPropNameTable->size()) return;
  gPropIndex = TPropIndex();
  gPropIndex.Lines = gPropNameTable->size();
  for (size_t i = 0; i < gPropNameTable->size(); ++i) {
    const TTaggedLine& entry = (*gPropNameTable)[i];
    gPropIndex.LastLineOfId[entry.Tag] = i;
    if (entry.Tag > 0 && entry.Tag < kNamedIds) {
      if (gPropIndex.NameOfId.empty()) gPropIndex.NameOfId.resize(kNamedIds);
      gPropIndex.NameOfId[static_cast<size_t>(entry.Tag)] = ValueAfterEquals(entry.Text);
    }
    const size_t eq = entry.Text.find('=');
    if (eq != std::string::npos)
      gPropIndex.FirstType.try_emplace(FoldCase(std::string_view(entry.Text).substr(0, eq)), i);
  }
}

}  // namespace

int TisMorvoObject::GetTypeNumber() {
  if (FTypeNr != 0) return FTypeNr;
  EnsureTypeNumTable();
  int result = 0;
  // The whole line is searched, so one line may carry several names; the
  // first line holding the name wins, so a name that is part of a longer one
  // must stand before it.
  if (!FTypeName.empty()) {
    const auto [known, added] = gTypeIndex.Numbers.try_emplace(FTypeName, 0);
    if (added) {
      for (const auto& line : *gTypeNumTable) {
        if (line.find(FTypeName) != std::string::npos) {
          known->second = StrToIntDef(Copy(line, 1, 4), 0);
          break;
        }
      }
    }
    result = known->second;
  }
  FTypeNr = result;  // 0 stays "not computed": a later table may know the name
  return result;
}

std::string TisMorvoObject::GetPropertyName(int Id) {
  // Runtime requests (id + 10000) name the property they belong to.
  const int id = Id % 10000;
  EnsurePropNameTable();
  const TTaggedLineList& table = *gPropNameTable;
  std::string name;
  if (id > 0 && id < kNamedIds) {
    if (!gPropIndex.NameOfId.empty()) name = gPropIndex.NameOfId[static_cast<size_t>(id)];
  } else if (id != 0) {
    const auto line = gPropIndex.LastLineOfId.find(id);
    if (line != gPropIndex.LastLineOfId.end()) name = ValueAfterEquals(table[line->second].Text);
  } else {
    const auto known = gPropIndex.NameOfType.find(FTypeName);
    if (known != gPropIndex.NameOfType.end()) return known->second;
    // The type line is found without regard to case.
    const auto line = gPropIndex.FirstType.find(FoldCase(FTypeName));
    if (line != gPropIndex.FirstType.end()) name = ValueAfterEquals(table[line->second].Text);
    if (name.empty()) name = FTypeName;
    if (name.empty()) name = FormatId4(id);
    if (gPropIndex.NameOfType.size() >= kMaxNamedTypes) gPropIndex.NameOfType.clear();
    gPropIndex.NameOfType.emplace(FTypeName, name);
    return name;
  }
  if (name.empty()) name = FormatId4(id);
  return name;
}

void AssignBasePropertyName(std::string& Name, int Id) {
  EnsurePropNameTable();
  const std::string* known = gPropIndex.NameOfId.empty() ? nullptr : &gPropIndex.NameOfId[static_cast<size_t>(Id)];
  if (known && !known->empty())
    Name = *known;
  else
    Name = FormatId4(Id);
}

std::string TisMorvoObject::GetTypeNumberText() { return FormatId4(GetTypeNumber()); }
