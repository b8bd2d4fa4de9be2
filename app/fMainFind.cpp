// Placeholder: find commands land here.
#include "fMain.h"

void TFrmMorvoReader::FindNextObject(const std::string&, const std::string&, bool, bool, bool) {}
void TFrmMorvoReader::MnuFindbyGUIDClick() {}
void TFrmMorvoReader::MnuFindbyNameClick() {}
void TFrmMorvoReader::FindbyProperty1Click() {}
void TFrmMorvoReader::MnuFindAgainClick() {}
void TFrmMorvoReader::ActNextExecute() {}
