// Placeholder: the flow-tool objects land here.
#include "MorvoObject.h"

int TisMorvoObject_FlowTool::FillSpecialProperties(TLongIntArray& Ids) { return TisMorvoObject::FillSpecialProperties(Ids); }
std::string TisMorvoObject_FlowTool::GetPropertyName(int Id) { return TisMorvoObject::GetPropertyName(Id); }
TisMorvoObject_If::TisMorvoObject_If() = default;
int TisMorvoObject_If::ParseLine(const std::string& S) { return TisMorvoObject::ParseLine(S); }
std::string TisMorvoObject_OoM::GetSpecialText(int& Id, const std::string& V, const std::string& D) {
  return TisMorvoObject::GetSpecialText(Id, V, D);
}
TisMorvoObject_OoMD::TisMorvoObject_OoMD() = default;
int TisMorvoObject_OoMD::ParseLine(const std::string& S) { return TisMorvoObject::ParseLine(S); }
TisMorvoObject_OoML::TisMorvoObject_OoML() = default;
int TisMorvoObject_OoML::ParseLine(const std::string& S) { return TisMorvoObject::ParseLine(S); }
