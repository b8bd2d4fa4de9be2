#include "FreeAllForms.h"

#include "fAbout.h"
#include "fConfig.h"
#include "fCredits.h"
#include "fFind.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"

void FreeAllForms() {
  // The windows of the run that exist so far, in the order they are freed.
  // The globals are reset too, so no one reaches a freed window through them.
  delete FrmPackager;
  FrmPackager = nullptr;
  delete FrmMorvoReader;
  FrmMorvoReader = nullptr;
  delete FrmConfig;
  FrmConfig = nullptr;
  delete FrmCredits;
  FrmCredits = nullptr;
  delete FrmAbout;
  FrmAbout = nullptr;
  delete FrmFind;
  FrmFind = nullptr;
  delete FrmWait;
  FrmWait = nullptr;
}
