// Views: the current view's field filter, mandatory ids and mode, and the two
// property view arrays that the grid, the find, the export and the packager
// read for one object at a time.

#include <algorithm>
#include <type_traits>
#include <typeinfo>

#include "Accessors.h"
#include "FactoryClasses.h"
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

// What LoadPropertyArrays may take from an object without its virtual calls.
// A class of the factory that keeps the base GetPropertyText takes its texts
// the base way: a special text depends on Id % 10000 and the value field
// alone (never on the design value) and leaves Id as it is, so the runtime
// and the design request of a property differ only in the runtime step and
// one decoding answers both. Which members a class keeps is read off the
// class. Any other class (a subclass of a test, say) takes the virtual calls.
struct TShownTexts {
  bool BaseTexts = false;
  bool BaseNames = false;
};

template <class C>
constexpr bool KeepsBaseText = std::is_same_v<decltype(&C::GetPropertyText), std::string (TisMorvoObject::*)(int)>;
template <class C>
constexpr bool KeepsBaseName = std::is_same_v<decltype(&C::GetPropertyName), std::string (TisMorvoObject::*)(int)>;

TShownTexts ShownTextsOf(const TisMorvoObject& Object) {
  TShownTexts kind;
  VisitExactClass(TFactoryClasses{}, typeid(Object), [&kind]<class C>() {
    kind = {KeepsBaseText<C>, KeepsBaseName<C>};
  });
  return kind;
}

// The shown text of property Id (0 < Id < 10000) of an object that takes its
// texts the base way, as the general loop of LoadPropertyArrays gets it from
// GetPropertyText before the mandatory fields are looked at, from one
// decoding of the property's line. Design is room for that decoding.
void ShownTextOnce(TisMorvoObject& Object, int Id, std::string& Value, std::string& Design) {
  const int i = Object.IndexOfPropertyId(Id);
  if (i < 0 || i >= static_cast<int>(Object.FLines.size())) {
    Value.clear();
    return;
  }
  const std::string_view line = Object.FLines[static_cast<size_t>(i)];
  if (gViewMode == 1) {
    Object.DecodeLineInto(Id, line, Value, nullptr, false);
    Value = TrimRight(std::move(Value));
    return;
  }
  const bool runtime = Object.DecodeLineInto(Id + 10000, line, Value, &Design, false);
  Value = TrimRight(std::move(Value));
  // Without the runtime step the design request gives the same text, blank
  // when this one is.
  if (Value.empty() && gViewMode == 0 && runtime) Value.assign(TrimView(Design));
}

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

void SetViewFields(const std::string& Section) {
  UseCfgString(Section, "MandatoryFields", SetExtraFields);
  UseCfgString(Section, "Fields", SetFieldFilter);
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
    const TShownTexts kind = ShownTextsOf(*this);
    // Decoded in place, then swapped into the arrays: each slot keeps its
    // room from object to object.
    std::string value, design;
    for (int id : ids.Items()) {
      if (count >= kMaxShown) break;
      if (id < 0) continue;
      if (kind.BaseTexts && id > 0 && id < 10000) {
        ShownTextOnce(*this, id, value, design);
      } else {
        if (gViewMode == 1) {
          value = TrimRight(GetPropertyText(id));
        } else {
          value = TrimRight(GetPropertyText(id + 10000));
          if (value.empty() && gViewMode == 0) value = Trim(GetPropertyText(id));
        }
      }
      if (value.empty() && IsMandatory(id)) {
        value = TrimRight(GetPropertyText(id + 10000));
        if (value.empty()) value = TrimRight(GetPropertyText(id));
      }
      if (value.empty()) continue;
      ++count;
      if (kind.BaseNames && id > 0 && id < 10000)
        AssignBasePropertyName(gPropNames[static_cast<size_t>(count)], id);
      else
        gPropNames[static_cast<size_t>(count)] = GetPropertyName(id);
      gPropValues[static_cast<size_t>(count)].swap(value);
    }
  }

  gPropNames[0] = std::to_string(count);
  gPropValues[0] = FGUID;
  gPropArraysObject = this;
}
