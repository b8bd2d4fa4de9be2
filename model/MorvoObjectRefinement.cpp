// Document elements, segments and input structures share one base type number
// each; once a file is read they report a refined number worked out from their
// properties. During the read they report the base number, so the reader's
// type rules see the factory's choice and nothing is cached too early.

#include <map>
#include <utility>

#include "Accessors.h"
#include "MorvoObject.h"
#include "MorvoObjectSpecialsUtil.h"
#include "StringUtil.h"

namespace {

// The configured name of code Code of property Id. The tree fill refines every
// element, segment and input structure of a load, up to five comparisons
// each; reading and parsing the configuration file for every one of them cost
// seconds on large files. The names are kept while the file's values stay, so
// an edit still counts from the next command on.
const std::string& CodeName(int Id, int Code) {
  static uint64_t generation = 0;
  static std::map<std::pair<int, int>, std::string> names;
  const uint64_t now = CfgGeneration();
  if (now != generation) {
    names.clear();
    generation = now;
  }
  auto [it, added] = names.try_emplace({Id, Code});
  if (added) {
    try {
      it->second = LookupSpecial(Id, std::to_string(Code) + " ");
    } catch (...) {
      names.erase(it);
      throw;
    }
  }
  return it->second;
}

// The decoded value of property Id is the configured name of code Code.
bool IsCode(TisMorvoObject& Object, int Id, int Code) { return Object.GetPropertyText(Id) == CodeName(Id, Code); }

bool Has(const TisMorvoObject& Object, int Id) { return Object.FPropIds.PosNext(Id) >= 0; }

// The element rules in the order they are tried; the first that holds decides.
int ElementRule(TisMorvoObject& e) {
  if (Has(e, 112)) return 550;
  if (Has(e, 103)) return 558;
  if (Has(e, 110)) return 554;
  if (IsCode(e, 191, 1)) return IsCode(e, 192, 1) ? 513 : 511;
  if (IsCode(e, 192, 1)) return 512;
  if (Has(e, 105)) return 555;
  if (Has(e, 109)) return 552;
  if (Has(e, 107)) return 563;
  if (Has(e, 108)) return 559;
  if (Has(e, 335)) return 560;
  if (Has(e, 104)) return 561;
  if (Has(e, 388)) return 514;
  if (IsCode(e, 310, 1)) return 556;
  if (IsCode(e, 310, 2)) return 557;
  return 0;
}

}  // namespace

int TisMorvoObject_ODElement::GetTypeNumber() {
  if (gLoading) return FBaseTypeNr;
  if (FTypeNr != 0) return FTypeNr;
  int v = ElementRule(*this);
  // An element that matches no rule takes the default first, so the +1 step
  // below gives 511 rather than an uncacheable 1.
  if (v == 0) v = 510;
  if (IsCode(*this, 358, 2)) ++v;
  FTypeNr = v;
  return v;
}

int TisMorvoObject_Segment::GetTypeNumber() {
  if (gLoading) return FBaseTypeNr;
  if (FTypeNr != 0) return FTypeNr;
  // A segment without property lines is a plain segment; checked apart so an
  // empty configured name of code 1 cannot make it 402.
  FTypeNr = !FLines.empty() && IsCode(*this, 209, 1) ? 402 : 401;
  return FTypeNr;
}

int TisMorvoObject_Input_Struct::GetTypeNumber() {
  if (gLoading) return FBaseTypeNr;
  if (FTypeNr != 0) return FTypeNr;
  int v = 10;
  if (IsCode(*this, 469, 1))
    v = 11;
  else if (IsCode(*this, 469, 2))
    v = 12;
  else if (IsCode(*this, 469, 3))
    v = 13;
  FTypeNr = v;
  return v;
}

// Property 101 of an element names another object; it is kept under 1101 so
// that it is shown as a reference (GetSpecialText) rather than as raw text.
void TisMorvoObject_ODElement::AddProperty(int Id, const std::string& Value) {
  TisMorvoObject::AddProperty(Id == 101 ? 1101 : Id, Value);
}

std::string TisMorvoObject_ODElement::GetSpecialText(int& Id, const std::string& ValueField,
                                                     const std::string& DesignValue) {
  if (ValueField.empty() || Id % 10000 != 1101) return {};
  const bool all = specials::IsAllFieldsView();
  if (TisMorvoObject* target = specials::FindLoadedObject(ValueField)) {
    std::string text = target->FName + " : " + target->GetPropertyName(0);
    if (all) text += "\r\n" + target->FGUID;
    return text;
  }
  std::string text = ReadCfgString("Translations", "ExternalFile");
  if (all) text += "\r\n" + ValueField;
  return text;
}
