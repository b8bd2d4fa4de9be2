// Flow tools (If, OoMD, OoML): their condition lines carry no property id, so
// each is turned into a numbered property of the object's condition group
// while the block is read, laid out so that the multi-line decoding shows the
// condition's parts one per line.

#include <algorithm>

#include "MorvoObject.h"
#include "MorvoObjectSpecialsUtil.h"
#include "StringUtil.h"

using specials::StoredLineId;

namespace {

// Characters of a UTF-8 text: every byte that is not a continuation byte starts one.
size_t CharCount(const std::string& S) {
  return static_cast<size_t>(
      std::count_if(S.begin(), S.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void TisMorvoObject_FlowTool::SetConditionGroup(int CondBaseId, const char* Marker) {
  FCondBaseId = CondBaseId;
  FCondFirstId = CondBaseId + 1;
  FCondGroup = CondBaseId / 100;
  FMarker = Marker;
}

TisMorvoObject_If::TisMorvoObject_If() { SetConditionGroup(1200, "If Condit 2 "); }
TisMorvoObject_OoMD::TisMorvoObject_OoMD() { SetConditionGroup(1300, "OoM Cond  3"); }
TisMorvoObject_OoML::TisMorvoObject_OoML() { SetConditionGroup(1400, "OoL Cond  3"); }

int TisMorvoObject_FlowTool::ConditionId(const std::string& V) {
  return ExtractQuoted(V, "\"", 1).empty() ? FCondBaseId : FCondFirstId;
}

int TisMorvoObject_FlowTool::ParseOnce(const std::string& S,
                                       int (TisMorvoObject_FlowTool::*Parse)(const std::string&)) {
  return specials::ParseStoringOnce(*this, S, FParseDepth, FSkipPlainStore,
                                    [this, Parse](const std::string& s) { return (this->*Parse)(s); });
}

int TisMorvoObject_FlowTool::ReadPropertyBlock(TLineList& Lines, int Start) {
  return specials::ReadBlockCounted(*this, Lines, Start, FParseDepth);
}

int TisMorvoObject_FlowTool::ParseConditionLine(const std::string& S, int SourcePos) {
  const int n = static_cast<int>(FLines.size());
  const int r = TisMorvoObject::ParseLine(S);
  // Only the innermost call of a nested parse finds its own id-0 line here;
  // the outer ones see the lines as the inner call sorted them.
  if (static_cast<int>(FLines.size()) > n && StoredLineId(FLines[static_cast<size_t>(n)]) == 0) {
    const std::string v = Trim(FLines[static_cast<size_t>(n)]);
    specials::DeleteLine(*this, n);
    const int id = ConditionId(v);
    FLines.push_back(std::to_string(id) + " " + v.back() + FMarker +
                     Copy(v, SourcePos, static_cast<int64_t>(v.size())));
    FPropIds.Append(id);
    RenumberDuplicates();
  }
  return r;
}

int TisMorvoObject_FlowTool::ParseIfLine(const std::string& S) { return ParseConditionLine(S, 9); }
int TisMorvoObject_FlowTool::ParseOoMDLine(const std::string& S) { return ParseConditionLine(S, 8); }

// OoML follows a rule of its own: it converts the object's FIRST stored line,
// and only while that line is an id-0 line, so only a condition that comes
// before every other line of the block becomes a property.
int TisMorvoObject_FlowTool::ParseOoMLLine(const std::string& S) {
  const size_t n = FLines.size();
  const int r = TisMorvoObject::ParseLine(S);
  if (FLines.size() > n && StoredLineId(FLines[0]) == 0 && !StartsWith(S, ".")) {
    const std::string c = S.substr(0, 1);
    const std::string v = S + c;
    specials::DeleteLine(*this, 0);
    if (CharCount(v) < 12) return r;
    const int id = ConditionId(v);
    FLines.push_back(std::to_string(id) + " " + c + FMarker + Copy(S, 6, static_cast<int64_t>(S.size())) + " " + c);
    FPropIds.Append(id);
    // The block's final sort puts the line in place.
  }
  return r;
}

int TisMorvoObject_If::ParseLine(const std::string& S) { return ParseOnce(S, &TisMorvoObject_If::ParseIfLine); }
int TisMorvoObject_OoMD::ParseLine(const std::string& S) { return ParseOnce(S, &TisMorvoObject_OoMD::ParseOoMDLine); }
int TisMorvoObject_OoML::ParseLine(const std::string& S) { return ParseOnce(S, &TisMorvoObject_OoML::ParseOoMLLine); }

// A view that asks for the first condition shows every condition of the
// object; outside the all-fields view the ids also join the view's filter.
int TisMorvoObject_FlowTool::FillSpecialProperties(TLongIntArray& Ids) {
  const bool notAll = !specials::IsAllFieldsView();
  if (Ids.PosNext(FCondFirstId) >= 0) {
    for (const std::string_view line : FLines) {
      const int id = StoredLineId(line);
      if (id / 100 != FCondGroup || id == FCondBaseId) continue;
      Ids.Append(id);
      if (notAll && gFieldFilter) {
        const std::string text = std::to_string(id);
        const auto it = std::lower_bound(gFieldFilter->begin(), gFieldFilter->end(), text);
        if (it == gFieldFilter->end() || *it != text) gFieldFilter->insert(it, text);
      }
    }
  }
  Ids.Sort();
  Ids.RemoveDuplicates();
  return 0;
}

// Every id above the base id is named like the first condition.
std::string TisMorvoObject_FlowTool::GetPropertyName(int Id) {
  return TisMorvoObject::GetPropertyName(Id > FCondBaseId ? FCondFirstId : Id);
}

// A condition of the OoM tools names its target object by key in its third
// part: show the target's name and type instead, and the key itself only in
// the all-fields view.
std::string TisMorvoObject_OoM::GetSpecialText(int& Id, const std::string& ValueField, const std::string& DesignValue) {
  if ((Id % 10000) / 100 != FCondGroup || ValueField.empty()) return {};
  TStringList lines = SplitLines(GetMultiLineText(ValueField, Copy(ValueField, 11, 4)));
  if (lines.size() < 3) return {};
  if (TisMorvoObject* target = specials::FindLoadedObject(lines[2]))
    lines[1] = target->FName + " - " + target->GetPropertyName(0);
  if (!specials::IsAllFieldsView()) lines[2].clear();
  return Trim(specials::LinesText(lines));
}
