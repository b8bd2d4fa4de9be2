// Placeholder: window positions land here.
#include "DlgPos.h"

bool gSaveDlgPos = true;
void SaveDlgPos(QWidget*, const QString&) {}
void LoadDlgPos(QWidget*, const QString&) {}
