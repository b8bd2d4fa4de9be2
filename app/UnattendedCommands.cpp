// The command-line switches that run one job without the main window.
#include "UnattendedCommands.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "Accessors.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "EMFSelectHost.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "MorvoObjRead.h"
#include "fConfig.h"
#include "fMain.h"
#include "fPackager.h"
#include "fWait.h"

namespace {
// Only ASCII letters change: the switches are ASCII, and a file name that
// merely looks like one in another script stays a file name.
QString LowerAscii(const QString& S) {
  QString r = S;
  for (QChar& c : r)
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
  return r;
}

// "/e": the default export of the file of argument 2, written beside it.
void RunExport(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  try {
    // A file that cannot be read is simply not loaded; the export then writes nothing.
    if (FrmMorvoReader) FrmMorvoReader->OpenObjectFile(Args.value(2));
  } catch (...) {
  }
  if (FrmMorvoReader) FrmMorvoReader->DoOutputExport();
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
}

// "/c": the configuration window alone; it sees the switch itself and
// offers the whole association.
void RunConfig() {
  if (FrmConfig) dialogs::ExecDialog(FrmConfig);
  FreeAllForms();
}

// "/First": hands over to the installed program, asking it for its
// configuration window. Any failure to start it is silent.
void RunFirst() {
  FreeAllForms();
  std::string exe;
  try {
    exe = SystemToUtf8(ReadRegString("Exefile"));
  } catch (const EMorvoError&) {
    return;
  }
  const QString value = QString::fromStdString(exe);
  if (value.trimmed().isEmpty()) return;
  // A path with blanks is taken whole when it names a file; otherwise the
  // value is a command line of its own and split as one.
  QString program = value;
  QStringList args{QStringLiteral("/c")};
  if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(exe))).isFile()) {
    args = QProcess::splitCommand(value + QStringLiteral(" /c"));
    if (args.isEmpty()) return;
    program = args.takeFirst();
  }
  QProcess::startDetached(program, args);
}

// "/p": the file of argument 2 packaged with the stored settings, the
// archive beside it; the packaging runs whether the file loaded or not.
void RunPackage(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  try {
    if (FrmMorvoReader) FrmMorvoReader->OpenObjectFile(Args.value(2));
  } catch (...) {
  }
  if (FrmPackager) {
    try {
      FrmPackager->FFileName = Args.value(2);
      FrmPackager->PrepareFileList();
      FrmPackager->CreatePackage();
    } catch (const std::exception& e) {
      // Nobody else reports it before the program ends.
      ShowApplicationError(e.what());
    }
  }
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
}
}  // namespace

bool RunUnattendedCommand(const QStringList& Args) {
  if (Args.size() < 2) return false;
  const QString command = LowerAscii(Args[1]);
  if (command == "/e") {
    RunExport(Args);
    return true;
  }
  if (command == "/p") {
    RunPackage(Args);
    return true;
  }
  if (command == "/v") {
    // The EMF page window alone, for one modal run.
    ExecEMFSelect();
    FreeAllForms();
    return true;
  }
  if (command == "/c") {
    RunConfig();
    return true;
  }
  // Only this exact spelling; any other is a file name.
  if (Args[1] == "/First") {
    RunFirst();
    return true;
  }
  return false;
}
