// Placeholder: external files, connectors, translation tables and base documents land here.
#include "MorvoObject.h"

int TisMorvoObject_DC_ExtFiles::FillSpecialProperties(TLongIntArray& Ids) { return TisMorvoObject::FillSpecialProperties(Ids); }
void TisMorvoObject_DC_ExtFiles::AddProperty(int Id, const std::string& Value) { TisMorvoObject::AddProperty(Id, Value); }
TisMorvoObject_PFC::TisMorvoObject_PFC() = default;
void TisMorvoObject_PFC::AddProperty(int Id, const std::string& Value) { TisMorvoObject::AddProperty(Id, Value); }
void TisMorvoObject_PFC::SortPropertyLines() { TisMorvoObject::SortPropertyLines(); }
int TisMorvoObject_Translate_Table::ParseLinkList(const std::string& S) { return TisMorvoObject::ParseLinkList(S); }
int TisMorvoObject_Base_Document::ReadObject(TStringList& Lines, int Index) { return TisMorvoObject::ReadObject(Lines, Index); }
