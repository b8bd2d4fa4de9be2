// The command-line switches that run one job without the main window.
#include "UnattendedCommands.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <new>

#include "Accessors.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "EMFSelectHost.h"
#include "FreeAllForms.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "NativeNames.h"
#include "Registry.h"
#include "Settings.h"
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

// The object file of "/e" and "/p" as a full path: the recent files and the
// export's name must not depend on the working folder.
QString FileArgument(const QStringList& Args) {
  const QString file = Args.value(2);
  return file.isEmpty() ? file : AbsoluteName(file);
}

std::string PathText(const QString& File) { return NativeFromName(File); }

// What opening the object file of a command came to.
struct TCommandFile {
  bool Readable = false;  // a file that is no object file can be read, a pipe or folder cannot
  bool Loaded = false;
  bool OutOfMemory = false;
  std::string Failure;  // why the file did not load, or what failed after it loaded; empty when all went well
};

// Opens the object file of a command. A failure of the open is not passed
// on: the command goes on as it sees fit.
TCommandFile OpenCommandFile(const QString& File) {
  TCommandFile result;
  try {
    if (FrmMorvoReader) FrmMorvoReader->OpenObjectFile(File);
  } catch (const std::bad_alloc&) {
    result.OutOfMemory = true;
    result.Failure = "Not enough memory to read \"" + PathText(File) + "\".";
  } catch (const std::exception& e) {
    result.Failure = TFrmMorvoReader::ReadFailureText(PathText(File), e.what());
  } catch (...) {
    result.Failure = "Cannot open file \"" + PathText(File) + "\".";
  }
  result.Loaded = FrmMorvoReader && FrmMorvoReader->FFileLoaded;
  result.Readable = result.Loaded;
  if (result.Loaded) return result;
  if (File.isEmpty()) {
    result.Failure = "No object file was given.";
    return result;
  }
  // The open passes over a missing file or a folder without a word.
  const std::string path = PathText(File);
  std::string reason;
  const int fd = OpenRegularFileForReading(path, &reason);
  result.Readable = fd >= 0;
  if (result.Readable) ::close(fd);
  if (result.Failure.empty())
    result.Failure =
        result.Readable ? "\"" + path + "\" is no object file." : "Cannot open file \"" + path + "\". " + reason;
  return result;
}

// "/e": the default export of the file of argument 2, written beside it.
// Status 0 when the export was written.
int RunExport(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  const QString file = FileArgument(Args);
  const TCommandFile opened = OpenCommandFile(file);
  std::string failure = opened.Failure;
  // Without a name the export would write "<file>." of nothing but blank lines.
  if (failure.empty() && opened.Loaded && FrmMorvoReader->FDefaultExport.isEmpty())
    failure =
        "No export is defined: \"MorvoObject.cfg\" names none under \"OutPuts\", or the default export names "
        "none of them.";
  bool written = false;
  if (failure.empty() && FrmMorvoReader) {
    try {
      // A failing export reports itself.
      FrmMorvoReader->DoOutputExport(&written);
    } catch (const std::bad_alloc&) {
      failure = "Not enough memory to export \"" + PathText(file) + "\".";
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
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
  const std::string exe = SystemToUtf8(ReadSettingOrDefault(settings::Exefile));
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
// archive beside it. Any file that can be read is packaged, an object file
// or not; one that cannot be read leaves every archive as it was. Status 0
// when the archive holds the files: written now, or already up to date.
int RunPackage(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  // Opened and packaged by its full path: the packager takes its base folder from it.
  const QString file = FileArgument(Args);
  if (FrmPackager && !file.isEmpty()) FrmPackager->StartPackagingEarly(file);
  const TCommandFile opened = OpenCommandFile(file);
  bool written = false;
  if (!opened.Readable || opened.OutOfMemory) {
    ReportOnErrorOutput(Sentence(opened.Failure) + " Nothing was packaged.");
  } else if (FrmPackager) {
    try {
      FrmPackager->FFileName = file;
      FrmPackager->PrepareFileList();
      if (!opened.Loaded) {
        // Packaged alone, as any file is; the user hears why nothing else came.
        const std::string note =
            Sentence(opened.Failure) + " The files it refers to could not be collected: it is packaged alone.";
        FrmPackager->FResultNotes << QString::fromStdString(note);
        ReportOnErrorOutput(note);
      }
      // A failing packaging reports itself.
      const int ticked = FrmPackager->CreatePackage();
      written = ticked > 0 && FrmPackager->FResultList.Count() > 0;
      const std::string archive = PathText(FrmPackager->SaveFileName);
      if (ticked > 0 && FrmPackager->FUpToDate) {
        written = true;
        // The result box says so when it shows.
        if (!FrmPackager->cbShowfiles->isChecked())
          std::printf("%s: \"%s\" is up to date: it holds every file unchanged.\n",
                      qPrintable(QCoreApplication::applicationName()), archive.c_str());
      } else if (ticked == 0) {
        ReportOnErrorOutput(
            "Nothing was packaged: no file of the list is ticked (see the packager's \"Quick Include\" boxes), so "
            "no archive was written.");
      } else if (ticked > 0 && !written) {
        ReportOnErrorOutput("Nothing was packaged: no file of the list could be added to \"" + archive + "\"" +
                            (FrmPackager->cbFiletype->currentIndex() == 0 ? ", so no cabinet was written." : "."));
      }
    } catch (const std::bad_alloc&) {
      ReportCommandError("Not enough memory to package \"" + PathText(file) + "\".");
    } catch (const std::exception& e) {
      // Nobody else reports it before the program ends.
      ReportCommandError(e.what());
    }
  }
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
  return written ? 0 : 1;
}
}  // namespace

void ReportOnErrorOutput(const std::string& Message) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), Sentence(Message).c_str());
}

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
    // The job itself went on; a script still learns that its recent files
    // (or other settings) were not kept.
    if (const std::string lost = SettingsWriteFailure(); !lost.empty()) ReportOnErrorOutput(lost);
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
