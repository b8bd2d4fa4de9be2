// Placeholder: the export commands land here.
#include "fMain.h"

void TFrmMorvoReader::OutputClick(QObject*) {}
void TFrmMorvoReader::DoOutputExport() {}
