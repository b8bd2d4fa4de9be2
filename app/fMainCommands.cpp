#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <exception>

#include "Accessors.h"
#include "CodePage.h"
#include "DesktopEntries.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "EMFSelectHost.h"
#include "MessageBox.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "RecentFiles.h"
#include "Settings.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"

namespace {

// The clipboard gets the bytes unchanged as its plain text.
void PutClipboardBytes(const std::string& Bytes) {
  auto* data = new QMimeData;
  data->setData("text/plain", QByteArray(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
  QGuiApplication::clipboard()->setMimeData(data);
}

// Wide text through the system code page and back, so what that code page
// cannot hold is lost as it would be in an 8-bit copy.
void PutClipboardSystemText(const QString& Text) { PutClipboardBytes(SystemToUtf8(Utf8ToSystem(Text.toStdString()))); }

QString LocalText(const std::string& Bytes) {
  return QString::fromLocal8Bit(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
}

// Keys of the Reopen entries, in list order.
constexpr const char* kReopenKeys = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

}  // namespace

void TFrmMorvoReader::MnuCopyGUIDClick() {
  TObjectTreeNode* node = SelectedNode();
  if (!node || !node->Object) return;
  PutClipboardBytes(node->Object->FGUID);
}

void TFrmMorvoReader::MnuCopyBarePopertylistClick() {
  TObjectTreeNode* node = SelectedNode();
  if (!node || !node->Object) return;
  std::string text;
  for (const std::string_view line : node->Object->FLines) {
    text += line;
    text += "\r\n";
  }
  PutClipboardBytes(text);
}

void TFrmMorvoReader::ActCopyONameExecute() {
  TObjectTreeNode* node = SelectedNode();
  if (!node) return;
  PutClipboardBytes(SystemToUtf8(Utf8ToSystem(node->Text)));
}

// The status bar's path, empty for a node without an object.
void TFrmMorvoReader::ActCopyOPathExecute() {
  if (!SelectedNode()) return;
  PutClipboardSystemText(PanelText(0));
}

void TFrmMorvoReader::BuildReopenMenu() {
  auto* menu = findChild<QMenu*>("mnuReopen");
  if (!menu) return;
  // An entry may be rebuilt from its own click (the open adds the file again),
  // so the old entries go once that click is over. The window hands clicks
  // on the menu's entries to mnuReopenClick.
  for (QAction* old : menu->actions()) {
    menu->removeAction(old);
    old->deleteLater();
  }
  if (!mlZIBFiles) return;
  const QStringList files = mlZIBFiles->Items();
  for (int k = 0; k < files.size() && k < 36; ++k) {
    QString path = ShownName(files[k]);
    // The key is the entry's accelerator; an "&" of the path shows as typed.
    auto* item = new QAction(QString("&") + QChar(kReopenKeys[k]) + " " + QString(path).replace("&", "&&"), menu);
    item->setStatusTip(path);
    item->setToolTip(path);
    // The name itself, which the shown text of a name that is no UTF-8 is not.
    item->setData(files[k]);
    menu->addAction(item);
  }
}

void TFrmMorvoReader::mnuReopenClick(QAction* Item) {
  if (!Item) return;
  if (FrmWait) FrmWait->ShowWait();
  OpenObjectFileReporting(Item->data().toString());
  if (FrmWait) FrmWait->close();
}

void TFrmMorvoReader::ddDragDropDrop(const QStringList& Files) {
  if (Files.isEmpty() || Files.join("").trimmed().isEmpty()) return;
  if (KindOfName(Files.front()) != TNameKind::File) return;  // further files are ignored
  QAction* open = findChild<QAction*>("ActOpen");
  if (open) open->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (FrmWait) FrmWait->ShowWait();
  OpenObjectFileReporting(Files.front());
  if (FrmWait) FrmWait->close();
  if (open) open->setEnabled(true);
  QApplication::restoreOverrideCursor();
  SetPanelText(3, FCurrentView);
}

void TFrmMorvoReader::ActOpenTxtExecute() {
  const std::string editor = ReadSetting(settings::ExternalEditor);
  const QString program = QFile::decodeName(QByteArray::fromStdString(editor));
  if (!editor.empty() && QFileInfo(program).isFile()) {
    // Started with the file as its one argument: no shell, so blanks in
    // either path need no quoting. Nobody waits for the editor.
    // Before any open there is no file: the editor starts without one.
    QStringList command = EditorCommandLine(program);
    if (!FLastFileName.isEmpty()) command << FLastFileName;
    std::string reason;
    if (StartDetachedWithNames(command, &reason)) return;
    dialogs::MessageBox(this,
                        LocalText("The External editor : \"" + editor + "\" cannot be started (" + reason +
                                  "), use the Config dialog to fix this."),
                        windowTitle(), MB_OK);
    return;
  }
  dialogs::MessageBox(
      this, LocalText("The External editor : \"" + editor + "\" does not exsist, use the Config dialog to fix this."),
      windowTitle(), MB_OK);
}

// The packager builds its list for the loaded file when it shows.
void TFrmMorvoReader::MnuPackagerClick() {
  if (TreeData().Empty() || !FrmPackager) return;
  FrmPackager->FFileName = FLoadedFileName;
  // Stored by the window itself when it closes.
  LoadDlgPosReporting(FrmPackager, QString());
  dialogs::ExecDialog(FrmPackager);
}

// The EMF page window lives for one modal run.
void TFrmMorvoReader::ActEMFPrintExecute() { ExecEMFSelect(); }
