// Placeholder: type refinement lands here.
#include "MorvoObject.h"

std::string TisMorvoObject_ODElement::GetSpecialText(int& Id, const std::string& V, const std::string& D) {
  return TisMorvoObject::GetSpecialText(Id, V, D);
}
void TisMorvoObject_ODElement::AddProperty(int Id, const std::string& Value) { TisMorvoObject::AddProperty(Id, Value); }
int TisMorvoObject_ODElement::GetTypeNumber() { return TisMorvoObject::GetTypeNumber(); }
int TisMorvoObject_Segment::GetTypeNumber() { return TisMorvoObject::GetTypeNumber(); }
int TisMorvoObject_Input_Struct::GetTypeNumber() { return TisMorvoObject::GetTypeNumber(); }
