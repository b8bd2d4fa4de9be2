// Type numbers and property names from "ObjectTypNum.txt" and
// "ObjectProperties.txt", both loaded on first need after each load.
#include <string>

#include "Accessors.h"
#include "AppPaths.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TextCompare.h"

namespace {

void EnsureTypeNumTable() {
  if (!gTypeNumTable) gTypeNumTable = std::make_unique<TStringList>();
  // A file without lines leaves the table empty, so the next call reads again.
  if (gTypeNumTable->empty()) *gTypeNumTable = LoadFileLines(ExecutableFolder() + "ObjectTypNum.txt");
}

void EnsurePropNameTable() {
  if (!gPropNameTable) gPropNameTable = std::make_unique<TTaggedLineList>();
  if (!gPropNameTable->empty()) return;
  TTaggedLineList table;
  for (auto& line : LoadFileLines(ExecutableFolder() + "ObjectProperties.txt")) {
    // Ids are written with four characters ("0338="); "338=" carries none.
    const int tag = TryStrToInt(Copy(line, 1, 4)).value_or(-1);
    table.push_back({std::move(line), tag});
  }
  *gPropNameTable = std::move(table);
}

// The text after the first "=", or the whole line when it has none.
std::string ValueAfterEquals(const std::string& line) {
  const size_t eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(eq + 1);
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
    for (const auto& line : *gTypeNumTable) {
      if (line.find(FTypeName) != std::string::npos) {
        result = StrToIntDef(Copy(line, 1, 4), 0);
        break;
      }
    }
  }
  FTypeNr = result;  // 0 stays "not computed": a later table may know the name
  return result;
}

std::string TisMorvoObject::GetPropertyName(int Id) {
  // Runtime requests (id + 10000) name the property they belong to.
  const int id = Id % 10000;
  EnsurePropNameTable();
  std::string name;
  if (id != 0) {
    // No early exit: a later line for the same id overrides an earlier one.
    for (const auto& entry : *gPropNameTable)
      if (entry.Tag == id) name = ValueAfterEquals(entry.Text);
  } else {
    for (const auto& entry : *gPropNameTable) {
      const size_t eq = entry.Text.find('=');
      if (eq == std::string::npos) continue;
      if (SameTextCI(std::string_view(entry.Text).substr(0, eq), FTypeName)) {
        name = entry.Text.substr(eq + 1);
        break;
      }
    }
    if (name.empty()) name = FTypeName;
  }
  if (name.empty()) name = FormatId4(id);
  return name;
}

std::string TisMorvoObject::GetTypeNumberText() { return FormatId4(GetTypeNumber()); }
