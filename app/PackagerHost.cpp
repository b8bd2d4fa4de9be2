#include "PackagerHost.h"

#include <QCoreApplication>

#include "DialogFacadeFiles.h"
#include "DlgPos.h"
#include "MessageBox.h"
#include "fAbout.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"

void ConnectPackagerHost() {
  TPackagerHost host;
  host.DoOutputExport = []() { return FrmMorvoReader ? FrmMorvoReader->DoOutputExport() : QString(); };
  host.SetWaitText = [](const QString& Text, bool RepaintNow) {
    if (!FrmWait) return;
    if (RepaintNow)
      FrmWait->SetWaitText(Text);
    else
      FrmWait->laWait->SetCaption(Text);
  };
  host.ProgramVersionLabel = []() { return FrmAbout && FrmAbout->laProgVer ? FrmAbout->laProgVer->text() : QString(); };
  host.AppTitle = []() { return QCoreApplication::applicationName(); };
  host.ShowMessage = [](const QString& Text, const QString& Caption) {
    ShowMessageBoxW(Text.toStdString(), Caption.toStdString(), 0);
  };
  host.ShowError = [](const QString& Message) { ShowApplicationError(Message.toStdString()); };
  host.GetSaveFileName = [](QWidget* Parent, const QString& Title, const QStringList& Filters, int& FilterIndex,
                            const QString& FileName, const QString& DefaultSuffix) {
    dialogs::TFileDialogRequest request;
    request.Title = Title;
    request.Filters = Filters;
    request.FileName = FileName;
    request.DefaultSuffix = DefaultSuffix;
    request.ConfirmOverwrite = true;
    return dialogs::GetSaveFileNameAndFilter(Parent, request, FilterIndex);
  };
  host.GetOpenFileNames = [](QWidget* Parent, const QString& Title, const QStringList& Filters) {
    dialogs::TFileDialogRequest request;
    request.Title = Title;
    request.Filters = Filters;
    request.MustExist = true;
    return dialogs::GetOpenFileNames(Parent, request);
  };
  host.GetFolder = [](QWidget* Parent, const QString& Title, const QString& StartFolder) {
    return dialogs::GetExistingDirectory(Parent, Title, StartFolder);
  };
  host.SaveDlgPos = [](QWidget* Window) { SaveDlgPosReporting(Window, QString()); };
  SetPackagerHost(host);
}
