// Placeholder: views and the property view arrays land here.
#include "MorvoObject.h"

void TisMorvoObject::LoadPropertyArrays() {}
int TisMorvoObject::FillSpecialProperties(TLongIntArray&) { return 0; }
void SetExtraFields(const std::string&) {}
void SetFieldFilter(const std::string&) {}
void SetViewMode(int Mode) { gViewMode = Mode; }
void SortUniqueIds(TLongIntArray&) {}
