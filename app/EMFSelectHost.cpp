#include "EMFSelectHost.h"

#include "DialogFacade.h"
#include "DlgPos.h"
#include "MessageBox.h"
#include "femfselect.h"

void ConnectEMFSelectHost() {
  TEMFSelectHost host;
  host.PrintDialog = [](QWidget* Parent, QPrinter* Printer, int MinPage, int MaxPage) {
    dialogs::TPrintDialogRequest request;
    request.MinPage = MinPage;
    request.MaxPage = MaxPage;
    return dialogs::ExecPrintDialog(Parent, Printer, request);
  };
  host.ShowError = [](QWidget* Parent, const QString& Text, const QString& Caption) {
    dialogs::MessageBox(Parent, Text, Caption, MB_OK | MB_ICONERROR);
  };
  SetEMFSelectHost(host);
}

void ExecEMFSelect() {
  ConnectEMFSelectHost();
  // The window exists only for its modal run, so every showing starts afresh.
  delete frmEMFSelect;
  frmEMFSelect = new TfrmEMFSelect(nullptr);
  LoadDlgPosReporting(frmEMFSelect, QString());
  dialogs::ExecDialog(frmEMFSelect);
  SaveDlgPosReporting(frmEMFSelect, QString());
  delete frmEMFSelect;
  frmEMFSelect = nullptr;
}
