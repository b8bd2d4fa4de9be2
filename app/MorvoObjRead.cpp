#include "MorvoObjRead.h"

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>

#include "AppPaths.h"
#include "FreeAllForms.h"
#include "IconGroups.h"
#include "MemoryTuning.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "PackagerHost.h"
#include "UnattendedCommands.h"
#include "WholeFile.h"
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

namespace {
// Qt ends the process with an abort when it cannot open the display; the
// user is told in one line and the program ends with status 1 instead. Qt's
// own notices while the display is opened are held back until it is open.
struct THeldNotice {
  QtMsgType Type;
  const char* Category;  // Qt's categories are static texts
  QString Message;
};
QList<THeldNotice>* gHeldNotices = nullptr;

std::string CannotOpenDisplayText() {
  auto value = [](const char* Name) { return qEnvironmentVariable(Name).toStdString(); };
  if (!value("QT_QPA_PLATFORM").empty())
    return "cannot open the display of the platform \"" + value("QT_QPA_PLATFORM") + "\".";
  if (!value("WAYLAND_DISPLAY").empty()) return "cannot open the display \"" + value("WAYLAND_DISPLAY") + "\".";
  if (!value("DISPLAY").empty()) return "cannot open the display \"" + value("DISPLAY") + "\".";
  return "cannot open the display: neither DISPLAY nor WAYLAND_DISPLAY is set.";
}

void WatchDisplayOpening(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
  if (Type == QtFatalMsg) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(kAppTitle), CannotOpenDisplayText().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (gHeldNotices) gHeldNotices->append({Type, Context.category, Message});
}

// Makes the application object, whose making opens the display.
std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv) {
  QList<THeldNotice> held;
  gHeldNotices = &held;
  const QtMessageHandler before = qInstallMessageHandler(WatchDisplayOpening);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(before);
  gHeldNotices = nullptr;
  for (const THeldNotice& n : held) {
    const QMessageLogContext context(nullptr, 0, nullptr, n.Category);
    before ? before(n.Type, context, n.Message) : qt_message_output(n.Type, context, n.Message);
  }
  return app;
}

// Without the property-name table the program does not start: "/e" and
// "/p" say why and end with status 1, any other start ends silently.
// Looked at before the display is opened: without the table the program
// needs none.
std::optional<int> EndWithoutPropertyTable(int argc, char** argv) {
  const std::string table = ExecutableFolder() + "ObjectProperties.txt";
  std::string reason;
  const int fd = OpenRegularFileForReading(table, &reason);
  if (fd >= 0) {
    ::close(fd);
    return std::nullopt;
  }
  const char job = WindowlessJob(argc, argv);
  if (!job) return 0;
  ReportOnErrorOutput("Cannot open file \"" + table + "\". " + reason + ". Nothing was " +
                      (job == 'e' ? "exported" : "packaged"));
  return 1;
}

// Argc and Argv as Qt left them: without its own options.
int RunStartUp(int Argc, char** Argv) {
  // Not QCoreApplication::arguments(): a name that is not UTF-8 must keep its bytes.
  const QStringList args = NamesFromArguments(Argc, Argv);
  CreateAllForms();
  TMainWindowCloseWatch watch;
  FrmMorvoReader->installEventFilter(&watch);

  if (args.size() > 1) {
    int status = 0;
    if (RunUnattendedCommand(args, &status)) {
      FreeAllForms();
      delete dmZIB;
      return status;
    }
    // A read failure is told; the main window then shows with nothing loaded.
    if (!FrmMorvoReader->OpenFileArgument(args.at(1))) FreeAllForms();
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
}  // namespace

int MorvoObjReadMain(int argc, char* argv[]) {
  TuneMemoryAllocator();
  QCoreApplication::setApplicationName(kAppTitle);
  if (const auto status = EndWithoutPropertyTable(argc, argv)) return *status;
  PrepareUnattendedPlatform(argc, argv);
  const std::unique_ptr<QApplication> app = OpenDisplay(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  try {
    return RunStartUp(argc, argv);
  } catch (const std::bad_alloc&) {
    ReportOnErrorOutput("Not enough memory.");
  } catch (const std::exception& e) {
    ReportOnErrorOutput(e.what());
  }
  return 1;
}
