// Views: the current view's field filter, mandatory ids and mode, and the two
// property view arrays that the grid, the find, the export and the packager
// read for one object at a time.

#include <algorithm>

#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"

namespace {

constexpr int kMaxShown = kPropArraySize - 1;

bool IsAllFields(const TStringList& filter) { return filter.size() == 1 && filter[0] == "*"; }

int FilterItemToId(const std::string& item) {
  const auto value = TryStrToInt(item);
  if (!value) throw EMorvoError("'" + item + "' is not a valid integer value");
  return *value;
}

// The filter is a sorted list of id texts without repeats (the flow tools
// add their condition ids to it the same way).
void AddToFilter(TStringList& filter, const std::string& idText) {
  const auto it = std::lower_bound(filter.begin(), filter.end(), idText);
  if (it == filter.end() || *it != idText) filter.insert(it, idText);
}

// The items of a "Fields" value: whether "*" is one of them, and the others
// as a filter of ids.
struct TFieldItems {
  bool Star = false;
  TStringList Ids;
};
TFieldItems ParseFieldItems(const std::string& Fields) {
  TFieldItems result;
  for (const std::string& item : SplitCommaText(Fields)) {
    if (item.empty()) continue;
    if (item == "*")
      result.Star = true;
    else
      AddToFilter(result.Ids, std::to_string(FilterItemToId(item)));
  }
  return result;
}

// The filter's items as ids, converted again only when the filter changed:
// an export asks for them once per object, and the flow tools may add items
// to the filter at any time.
const TLongIntArray& FilterIds(const TStringList& filter) {
  static TStringList convertedFrom;
  static TLongIntArray ids;
  if (filter != convertedFrom) {
    TLongIntArray converted;
    for (const std::string& item : filter) converted.Append(FilterItemToId(item));
    ids = std::move(converted);
    convertedFrom = filter;
  }
  return ids;
}

bool IsMandatory(int id) { return gExtraFieldIds && gExtraFieldIds->ContainsSorted(id); }

}  // namespace

void SetExtraFields(const std::string& MandatoryFields) {
  TLongIntArray ids = ParseIdList(MandatoryFields);
  ids.Sort();
  if (!gExtraFieldIds) gExtraFieldIds = std::make_unique<TLongIntArray>();
  *gExtraFieldIds = std::move(ids);
  if (gFieldFilter && !IsAllFields(*gFieldFilter))
    for (int id : gExtraFieldIds->Items()) AddToFilter(*gFieldFilter, std::to_string(id));
}

void SetFieldFilter(const std::string& Fields) {
  // Converted before the filter is touched, so a bad item leaves the
  // previous view's filter as it was.
  TFieldItems items = ParseFieldItems(Fields);
  if (!gFieldFilter) gFieldFilter = std::make_unique<TStringList>();
  if (items.Star && items.Ids.empty()) {
    *gFieldFilter = {"*"};
    return;
  }
  if (gExtraFieldIds)
    for (int id : gExtraFieldIds->Items()) AddToFilter(items.Ids, std::to_string(id));
  *gFieldFilter = std::move(items.Ids);
}

void SetViewMode(int Mode) { gViewMode = Mode; }

void SortUniqueIds(TLongIntArray& Ids) {
  Ids.Sort();
  for (int i = Ids.Count() - 1; i > 0; --i)
    if (Ids[i] == Ids[i - 1]) Ids[i] = -1;
}

int TisMorvoObject::FillSpecialProperties(TLongIntArray&) { return 0; }

void TisMorvoObject::LoadPropertyArrays() {
  // The GUID alone cannot tell apart two objects that have none, so the
  // object itself is part of the cache key.
  if (gPropValues[0] == FGUID && gPropArraysObject == this) return;
  const TProfileCommand command;  // the coded values of one object name their codes from one look
  if (!gFieldFilter) SetFieldFilter("*");

  TLongIntArray ids;
  if (IsAllFields(*gFieldFilter)) {
    ids = FPropIds;
  } else {
    ids = FilterIds(*gFieldFilter);
    if (gViewMode == 2 && gRuntimeIds)
      for (int id : gRuntimeIds->Items()) ids.Append(id);
    for (int i = 0; i < ids.Count(); ++i)
      if (IndexOfPropertyId(ids[i]) < 0) ids[i] = -1;
    SortUniqueIds(ids);
  }

  gPropArraysObject = nullptr;
  for (int i = 0; i <= 1; ++i) {
    gPropNames[static_cast<size_t>(i)].clear();
    gPropValues[static_cast<size_t>(i)].clear();
  }

  int count = std::clamp(FillSpecialProperties(ids), 0, kMaxShown);
  if (count == 0) {
    for (int id : ids.Items()) {
      if (count >= kMaxShown) break;
      if (id < 0) continue;
      std::string value;
      if (gViewMode == 1) {
        value = TrimRight(GetPropertyText(id));
      } else {
        value = TrimRight(GetPropertyText(id + 10000));
        if (value.empty() && gViewMode == 0) value = Trim(GetPropertyText(id));
      }
      if (value.empty() && IsMandatory(id)) {
        value = TrimRight(GetPropertyText(id + 10000));
        if (value.empty()) value = TrimRight(GetPropertyText(id));
      }
      if (value.empty()) continue;
      ++count;
      gPropNames[static_cast<size_t>(count)] = GetPropertyName(id);
      gPropValues[static_cast<size_t>(count)] = std::move(value);
    }
  }

  gPropNames[0] = std::to_string(count);
  gPropValues[0] = FGUID;
  gPropArraysObject = this;
}
