// Placeholder: clipboard copies, recent files, drop and external editor land here.
#include "fMain.h"

void TFrmMorvoReader::MnuCopyGUIDClick() {}
void TFrmMorvoReader::MnuCopyBarePopertylistClick() {}
void TFrmMorvoReader::ActCopyONameExecute() {}
void TFrmMorvoReader::ActCopyOPathExecute() {}
void TFrmMorvoReader::BuildReopenMenu() {}
void TFrmMorvoReader::mnuReopenClick(QAction*) {}
void TFrmMorvoReader::ddDragDropDrop(const QStringList&) {}
void TFrmMorvoReader::ActOpenTxtExecute() {}
void TFrmMorvoReader::MnuPackagerClick() {}
void TFrmMorvoReader::ActEMFPrintExecute() {}
