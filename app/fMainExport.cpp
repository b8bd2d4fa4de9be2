// The export commands of the main window: the export chosen from a menu, an
// action or the tool bar, and the silent default export beside the loaded
// object file.
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <cstdio>

#include "Accessors.h"
#include "AppPaths.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "ExportEngine.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "NativeNames.h"
#include "PathNames.h"
#include "Settings.h"
#include "fMain.h"
#include "fWait.h"

namespace {
std::string PathBytes(const QString& Path) { return NativeFromName(Path); }
QString PathText(const std::string& Path) { return NameFromNative(Path); }
// Names of views and exports are configuration texts, kept in the system code page.
std::string SystemText(const QString& S) { return Utf8ToSystem(S.toUtf8().toStdString()); }

// While the walk pumps messages nothing may free or rebuild the tree it walks,
// and no second export may start (the packager runs one): these commands
// wait until it ends.
const char* const kCommandsHeldDuringExport[] = {
    "ActExport",   "ActExport1",   "ActExport2", "ActExport3", "ActExport4", "ActExport5", "ActOpen",
    "ActSemantic", "ActFileOrder", "ActFilter1", "ActFilter2", "ActFilter3", "ActFilter4", "ActFilter5",
    "ActPackage",  "MnuExport",    "mnuReopen",  "MnuView",    "tbtnExport"};

// Disables the commands for the lifetime of the guard and restores each one's
// own state afterwards, however the export ends.
class TExportCommandGuard {
 public:
  explicit TExportCommandGuard(TFrmMorvoReader* Window) : FWindow(Window), FAcceptDrops(Window->acceptDrops()) {
    for (const char* name : kCommandsHeldDuringExport) {
      for (QAction* action : Window->findChildren<QAction*>(name)) Hold(action);
      for (QWidget* widget : Window->findChildren<QWidget*>(name)) {
        if (auto* menu = qobject_cast<QMenu*>(widget)) Hold(menu->menuAction());
        Hold(widget);
      }
    }
    // A menu item of a later export carries no name of its own.
    if (auto* exportMenu = Window->findChild<QMenu*>("MnuExport"))
      for (QAction* item : exportMenu->actions()) Hold(item);
    if (auto* viewMenu = Window->findChild<QMenu*>("MnuView"))
      for (QAction* item : viewMenu->actions()) Hold(item);
    if (auto* reopenMenu = Window->findChild<QMenu*>("mnuReopen"))
      for (QAction* item : reopenMenu->actions()) Hold(item);
    Window->setAcceptDrops(false);
  }
  ~TExportCommandGuard() {
    for (auto it = FActions.rbegin(); it != FActions.rend(); ++it)
      if (it->first) it->first->setEnabled(it->second);
    for (auto it = FWidgets.rbegin(); it != FWidgets.rend(); ++it)
      if (it->first) it->first->setEnabled(it->second);
    FWindow->setAcceptDrops(FAcceptDrops);
  }
  TExportCommandGuard(const TExportCommandGuard&) = delete;
  TExportCommandGuard& operator=(const TExportCommandGuard&) = delete;

 private:
  void Hold(QAction* Action) {
    if (!Action) return;
    FActions.emplace_back(Action, Action->isEnabled());
    Action->setEnabled(false);
  }
  void Hold(QWidget* Widget) {
    FWidgets.emplace_back(Widget, Widget->isEnabled());
    Widget->setEnabled(false);
  }
  TFrmMorvoReader* FWindow;
  bool FAcceptDrops;
  std::vector<std::pair<QPointer<QAction>, bool>> FActions;
  std::vector<std::pair<QPointer<QWidget>, bool>> FWidgets;
};

bool gExportRunning = false;

void ReportExportFailure(const QString& Title, const QString& Message) {
  // Without a screen nobody sees the box: a script running "/e" reads the
  // failure from the error output instead, ending as every failure of "/e".
  if (dialogs::NonInteractive()) {
    const QString sentence = Message.endsWith(QLatin1Char('.')) ? Message : Message + QLatin1Char('.');
    std::fprintf(stderr, "%s: %s Nothing was exported.\n", qPrintable(Title), qPrintable(sentence));
  }
  ShowMessageBoxW(Message.toStdString(), Title.toUtf8().toStdString(), MB_ICONEXCLAMATION | MB_OK);
}

}  // namespace

bool TFrmMorvoReader::SaveCurrentViewToFile(const QString& FileName, const QString& ExportName, QString* Failure) {
  // The disabled commands keep a second export out; this keeps out one that
  // would come some other way while the walk pumps messages.
  if (gExportRunning) return false;
  gExportRunning = true;
  TExportResult result;
  {
    TExportCommandGuard guard(this);
    TExportSource source;
    source.Tree = &TreeData();
    source.Caption = SystemText(windowTitle());
    source.AppTitle = SystemText(QApplication::applicationName());
    source.ProgramFile = ExecutablePath();
    source.LoadedFileName = PathBytes(FLoadedFileName);
    source.CurrentView = SystemText(FCurrentView);
    source.Today = SystemText(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
    result = ::SaveCurrentViewToFile(PathBytes(FileName), SystemText(ExportName), source);
    if (result.Outcome == TExportOutcome::Failed) {
      const QString message = QString::fromStdString(SystemToUtf8(result.Message));
      ReportExportFailure(windowTitle(), message);
      if (Failure) *Failure = message;
    }
    // The walk's progress blink used the view panel.
    SetPanelText(3, FCurrentView);
  }
  gExportRunning = false;
  return result.Outcome == TExportOutcome::Written;
}

void TFrmMorvoReader::OutputClick(QObject* Sender) {
  if (TreeData().Empty()) return;
  QString exportName;
  auto* action = qobject_cast<QAction*>(Sender);
  if (action && action->objectName() != QLatin1String("ActExport")) {
    // Menu items are actions too: the caption names the export.
    exportName = StripAccelerator(action->text());
  } else {
    // The tool bar button, and the action behind Ctrl+E that carries the
    // same caption: the default export as the user stored it.
    // A stored value that is no text names no export, as a missing one.
    exportName = QString::fromStdString(SystemToUtf8(ReadSettingOrDefault(settings::DefaultExport)));
    // None stored: the window's default export, the first of the configuration.
    if (exportName.isEmpty()) exportName = FDefaultExport;
    if (exportName.isEmpty()) {
      ReportExportFailure(windowTitle(), QStringLiteral("No export is defined."));
      return;
    }
  }
  const QString proposed = PathText(ExportFileName(PathBytes(FLoadedFileName), SystemText(exportName)));

  dialogs::TFileDialogRequest request;
  request.Title = "Morvo Object Reader Save " + FCurrentView + " as " + exportName;
  request.Directory = AbsoluteName(PathText(NativeFolderPart(PathBytes(proposed))));
  request.FileName = proposed;
  request.Filters = QStringList{exportName + " File (*." + exportName + ")"};
  request.FilterIndex = 0;
  request.DefaultSuffix = exportName;
  request.MustExist = false;
  request.ConfirmOverwrite = true;
  const QString chosen = dialogs::GetSaveFileName(this, request);
  if (chosen.isEmpty()) return;
  SaveCurrentViewToFile(chosen, exportName);
}

QString TFrmMorvoReader::DoOutputExport(bool* Written, QString* Failure) {
  QString fileName;
  if (Written) *Written = false;
  if (!FFileLoaded) return fileName;
  // A tree shown under no view because the configured one failed is not
  // what the configuration asks to export. The failure is the view's, not
  // the export's: told under the program's name.
  if (!FViewFailure.isEmpty()) {
    ReportExportFailure(QApplication::applicationName(), FViewFailure);
    if (Failure) *Failure = FViewFailure;
    return fileName;
  }
  fileName = PathText(ExportFileName(PathBytes(FLoadedFileName), SystemText(FDefaultExport)));
  if (FrmWait) FrmWait->SetWaitText("Exporting Please Wait.");
  const bool written = SaveCurrentViewToFile(fileName, FDefaultExport, Failure);
  if (Written) *Written = written;
  return fileName;
}
