#include "PackagerHost.h"

#include <QCoreApplication>
#include <cstdio>

#include "DialogFacade.h"
#include "DialogFacadeFiles.h"
#include "DlgPos.h"
#include "MessageBox.h"
#include "UnattendedCommands.h"
#include "fAbout.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"

void ConnectPackagerHost() {
  TPackagerHost host;
  host.DoOutputExport = [](bool* Written, QString* Failure) {
    return FrmMorvoReader ? FrmMorvoReader->DoOutputExport(Written, Failure) : QString();
  };
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
    // Without a screen the result of a "/p" run goes where a script reads it.
    if (dialogs::NonInteractive()) {
      std::fputs(QString(Text).replace("\r\n", "\n").toLocal8Bit().append('\n').constData(), stdout);
      std::fflush(stdout);
    }
    ShowMessageBoxW(Text.toStdString(), Caption.toStdString(), 0);
  };
  host.ShowError = [](const QString& Message) { ReportCommandError(Message.toStdString()); };
  host.TellLeftOut = [](const QString& Message) {
    if (dialogs::NonInteractive()) ReportOnErrorOutput(Message.toStdString());
  };
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
