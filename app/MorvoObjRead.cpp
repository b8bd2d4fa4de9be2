#include "MorvoObjRead.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>

#include "AppPaths.h"
#include "IconGroups.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "PackagerHost.h"
#include "UnattendedCommands.h"
#include "fAbout.h"
#include "fConfig.h"
#include "fCredits.h"
#include "fFind.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"
#include "fdmZIB.h"

namespace {
const QString kAppTitle = QStringLiteral("Morvo Object Reader");

// The message loop runs until the main window closes, whatever other windows
// (the find window, say) are still open.
class TMainWindowCloseWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Close && Watched == FrmMorvoReader && Event->isAccepted())
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return false;
  }
};
}  // namespace

void CreateAllForms() {
  // Every window without a picture of its own shows the program's.
  QApplication::setWindowIcon(IconGroupIcon(kMainIconGroup));
  // The windows come in the order the rest of the program expects.
  if (!FrmMorvoReader) FrmMorvoReader = new TFrmMorvoReader();
  FrmMorvoReader->setWindowIcon(IconGroupIcon(kMainIconGroup));
  if (!FrmConfig) FrmConfig = new TFrmConfig();
  if (!FrmAbout) FrmAbout = new TFrmAbout();
  if (!FrmFind) FrmFind = new TFrmFind(FrmMorvoReader);
  if (!FrmWait) FrmWait = new TFrmWait();
  if (!FrmPackager) FrmPackager = new TFrmPackager();
  ConnectPackagerHost();
  if (!FrmCredits) FrmCredits = new TFrmCredits();
  // The data module comes last, so the main window binds its pictures only now.
  if (!dmZIB) dmZIB = new TdmZIB(qApp);
  FrmMorvoReader->BindImageLists();
}

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

int MorvoObjReadMain(int argc, char* argv[]) {
  TuneMemoryAllocator();
  PrepareUnattendedPlatform(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(kAppTitle);
  QApplication::setQuitOnLastWindowClosed(false);

  const QFileInfo table(QFile::decodeName(QByteArray::fromStdString(ExecutableFolder() + "ObjectProperties.txt")));
  if (!table.exists() || table.isDir()) return 0;

  CreateAllForms();
  TMainWindowCloseWatch watch;
  FrmMorvoReader->installEventFilter(&watch);

  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 1) {
    int status = 0;
    if (RunUnattendedCommand(args, &status)) {
      FreeAllForms();
      delete dmZIB;
      return status;
    }
    FrmWait->ShowWait();
    bool ok = true;
    try {
      // A full path, as the recent files keep it.
      ok = FrmMorvoReader->OpenObjectFile(args.at(1).isEmpty() ? args.at(1) : QFileInfo(args.at(1)).absoluteFilePath());
    } catch (...) {
      // The file stays not loaded; the empty main window shows that.
    }
    if (FrmWait) FrmWait->close();
    if (!ok) FreeAllForms();
  }

  int rc = 0;
  if (FrmMorvoReader) {
    FrmMorvoReader->show();
    rc = QApplication::exec();
  }
  FreeAllForms();
  delete dmZIB;
  FreeAllObjects();
  return rc;
}
