// The command-line switches that run one job without the main window.
#include "UnattendedCommands.h"

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "Accessors.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "EMFSelectHost.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "MorvoObjRead.h"
#include "WholeFile.h"
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

std::string Sentence(std::string Text) {
  if (!Text.empty() && Text.back() != '.') Text += '.';
  return Text;
}

void ReportOnErrorOutput(const std::string& Message) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), Sentence(Message).c_str());
}

// The object file of "/e" and "/p" as a full path: the recent files and the
// export's name must not depend on the working folder.
QString FileArgument(const QStringList& Args) {
  const QString file = Args.value(2);
  return file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
}

// Opens the object file of a command; a failure of the open is not passed
// on, the command goes on with nothing loaded. Returns why nothing was
// loaded, empty when the file loaded; Readable tells whether the file can be
// read at all (a file that is no object file can, a pipe or folder cannot).
std::string OpenCommandFile(const QString& File, bool& Readable) {
  std::string failure;
  try {
    if (FrmMorvoReader) FrmMorvoReader->OpenObjectFile(File);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Cannot open file \"" + QFile::encodeName(File).toStdString() + "\".";
  }
  Readable = FrmMorvoReader && FrmMorvoReader->FFileLoaded;
  if (Readable) return {};
  if (File.isEmpty()) return "No object file was given.";
  // The open passes over a missing file or a folder without a word.
  const std::string path = QFile::encodeName(File).toStdString();
  std::string reason;
  const int fd = OpenRegularFileForReading(path, &reason);
  Readable = fd >= 0;
  if (Readable) ::close(fd);
  if (!failure.empty()) return failure;
  return Readable ? "\"" + path + "\" is no object file." : "Cannot open file \"" + path + "\". " + reason;
}

// "/e": the default export of the file of argument 2, written beside it.
// Status 0 when the export was written.
int RunExport(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  bool readable = false;
  const std::string failure = OpenCommandFile(FileArgument(Args), readable);
  bool written = false;
  // A failing export reports itself.
  if (FrmMorvoReader) FrmMorvoReader->DoOutputExport(&written);
  if (!failure.empty()) ReportOnErrorOutput(Sentence(failure) + " Nothing was exported.");
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
  return written ? 0 : 1;
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
// Status 0 when the archive was written.
int RunPackage(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  // Any file can be packaged, an object file or not, but not one that
  // cannot be read. Opened and packaged by its full path: the packager
  // takes its base folder from it.
  const QString file = FileArgument(Args);
  bool readable = false;
  const std::string failure = OpenCommandFile(file, readable);
  if (!readable) ReportOnErrorOutput(failure);
  bool written = false;
  if (FrmPackager) {
    try {
      FrmPackager->FFileName = file;
      FrmPackager->PrepareFileList();
      written = FrmPackager->CreatePackage() >= 0;
    } catch (const std::exception& e) {
      // Nobody else reports it before the program ends.
      ReportCommandError(e.what());
    }
  }
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
  return written && readable ? 0 : 1;
}
}  // namespace

void ReportCommandError(const std::string& Message) {
  // Without a screen the box is seen by no one; a script reads the error output.
  if (dialogs::NonInteractive()) ReportOnErrorOutput(Message);
  ShowApplicationError(Message);
}

namespace {
QtMessageHandler gOtherNotices = nullptr;
void DropSessionNotices(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
  if (Type == QtWarningMsg && Message.startsWith(QLatin1String("QStandardPaths: "))) return;
  if (gOtherNotices) gOtherNotices(Type, Context, Message);
}
}  // namespace

void QuietenSessionNotices() {
  if (!gOtherNotices) gOtherNotices = qInstallMessageHandler(DropSessionNotices);
}

bool RunUnattendedCommand(const QStringList& Args, int* ExitStatus) {
  if (Args.size() < 2) return false;
  const QString command = LowerAscii(Args[1]);
  if (ExitStatus) *ExitStatus = 0;
  if (command == "/e" || command == "/p") {
    const int status = command == "/e" ? RunExport(Args) : RunPackage(Args);
    if (ExitStatus) *ExitStatus = status;
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
