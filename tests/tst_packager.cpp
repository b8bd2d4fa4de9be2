// The packager: the file list an object file gives, the settings, and the
// archives written from it (checked with the system's own unzip and
// cabextract, not with the library that wrote them).
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <random>

#include "Accessors.h"
#include "AppPaths.h"
#include "DialogFacade.h"
#include "DialogFacadeFiles.h"
#include "FileChooser.h"
#include "MorvoError.h"
#include "MorvoObjRead.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "PackagerArchive.h"
#include "PackagerFileList.h"
#include "PackagerHost.h"
#include "StringUtil.h"
#include "TestSupport.h"
#include "UsableCpus.h"
#include "WholeFile.h"
#include "fAbout.h"
#include "fMain.h"
#include "fPackager.h"

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

std::string DataDir() { return testsupport::TestDataDir() + "/packager/"; }

QStringList Q(std::initializer_list<std::string_view> Items) {
  QStringList l;
  for (const std::string_view s : Items) l << QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  return l;
}

QStringList Lines(const std::string& Text) {
  QStringList l;
  for (const std::string& s : SplitLines(Text)) l << QString::fromStdString(s);
  return l;
}

QString Run(const QString& Program, const QStringList& Args, int* ExitCode = nullptr) {
  QProcess p;
  testsupport::StartWithNameBytes(p, Program.toStdString(), Args);
  p.waitForFinished(60000);
  if (ExitCode) *ExitCode = p.exitCode();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Entry names of a zip, as unzip lists them.
QStringList ZipNames(const std::string& Archive) {
  QStringList names = Run("unzip", {"-Z1", NameFromNative(Archive)}).split('\n', Qt::SkipEmptyParts);
  names.sort(Qt::CaseInsensitive);
  return names;
}
std::string ZipEntry(const std::string& Archive, const std::string& Name) {
  return Run("unzip", {"-p", NameFromNative(Archive), QString::fromStdString(Name)}).toStdString();
}
QString ZipComment(const std::string& Archive) {
  // The first line names the archive; the comment follows.
  QString out = Run("unzip", {"-z", NameFromNative(Archive)});
  return out.mid(out.indexOf('\n') + 1).trimmed();
}

void SetTime(const std::string& Path, int SecondsAgo) {
  fs::last_write_time(Path, fs::file_time_type::clock::now() - std::chrono::seconds(SecondsAgo));
}

}  // namespace

class TestPackager : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  std::string FRoot;
  TFrmPackager* FForm = nullptr;
  QString FDocumentation;         // what the stand-in documentation export gives
  QString FDocumentationFailure;  // and why it did not write it

  std::string Make(const std::string& Relative, const std::string& Bytes = "x") {
    const std::string path = FRoot + Relative;
    WriteFileBytes(path, Bytes);
    return path;
  }

  // The packager with the application's hooks, but a documentation export of its own.
  void NewForm() {
    delete FForm;
    FForm = new TFrmPackager();
    ConnectPackagerHost();
    TPackagerHost host = PackagerHost();
    host.DoOutputExport = [this](bool* Written, QString* Failure) {
      *Written = !FDocumentation.isEmpty() && FDocumentationFailure.isEmpty();
      *Failure = FDocumentationFailure;
      return FDocumentation;
    };
    host.ProgramVersionLabel = []() { return QString("Morvo Object Reader  V1.2.3.4"); };
    SetPackagerHost(host);
  }

  // A fresh copy of the fixture's object file, at Relative below the root.
  std::string LoadProject(const std::string& Relative) {
    const std::string path = FRoot + Relative;
    fs::create_directories(fs::path(path).parent_path());
    fs::copy_file(DataDir() + "project.obj", path, fs::copy_options::overwrite_existing);
    FreeAllObjects();
    if (ReadObjectFile(path) <= 0) return {};
    return path;
  }

  int Package(const std::string& Archive, int Filter) {
    dialogs::QueueFileAnswer(QString::fromStdString(Archive));
    dialogs::QueueFilterAnswer(Filter);
    FForm->BtnPackageClick();
    return 0;
  }

  // Ticks exactly the named entries.
  void TickOnly(const QStringList& Names) {
    for (int i = 0; i < FForm->clbFilenames->count(); ++i) {
      QListWidgetItem* item = FForm->clbFilenames->item(i);
      item->setCheckState(Names.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
  }

  QString LastMessage() const {
    const auto& rec = dialogs::Recorded();
    for (auto it = rec.rbegin(); it != rec.rend(); ++it)
      if (it->Kind == "message") return it->Text;
    return {};
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    SetExecutableFolderOverride(DataDir());
  }

  void init() {
    // Each case starts from a clean store and a clean disk.
    FRoot = FDir.path().toStdString() + "/" + QTest::currentTestFunction() + "/";
    fs::create_directories(FRoot);
    for (const char* name : {"PackDocumentation", "PackMandatorys", "PackDevices", "PackSpecials", "PackSampleFiles",
                             "PackPreservePath", "PackGuessBasepath", "PackShowResult", "PackMethod"})
      WriteRegString(name, "");
    WriteRegString("PackShowResult", "0");
    dialogs::ResetForTests();
    dialogs::ResetFilterAnswers();
    FDocumentation.clear();
    FDocumentationFailure.clear();
    NewForm();
  }

  void cleanupTestCase() {
    delete FForm;
    FreeAllObjects();
    fs::remove_all(FDir.path().toStdString());  // QTemporaryDir passes over names that are no UTF-8
  }

  // ---- names in scripts -----------------------------------------------------

  void scriptLinesNameTheirFiles_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("load keeps the name") << "LOAD \"sub/main.seg\"" << Q({"main.seg"});
    QTest::newRow("call adds .fun") << "CALL \"tools\\util\"" << Q({"util.fun"});
    QTest::newRow("call keeps .FUN") << "CALL \"util.FUN\"" << Q({"util.FUN"});
    QTest::newRow("call keeps .fun") << "CALL \"util.fun\"" << Q({"util.fun"});
    QTest::newRow("draw of a picture") << "DRAW \"logo.bmp\"" << QStringList();
    QTest::newRow("draw of a format") << "DRAW \"x\\head.fmt\"" << Q({"head.fmt"});
    QTest::newRow("drive and folder") << "LOAD \"C:main.seg\"" << Q({"main.seg"});
    QTest::newRow("load wins over a call") << "LOAD \"a.seg\" Helper(x)" << Q({"a.seg"});
    QTest::newRow("keyword inside a word") << "RELOADED \"b.seg\"" << Q({"b.seg"});
    QTest::newRow("lower-case keyword") << "load \"c.seg\"" << QStringList();
    QTest::newRow("first quoted string only") << "LOAD \"one.seg\" \"two.seg\"" << Q({"one.seg"});
    QTest::newRow("unclosed quote") << "LOAD \"open.seg" << QStringList();
    QTest::newRow("no quote at all") << "LOAD main.seg" << QStringList();
    QTest::newRow("user and built-in functions") << "x = Total(a) + MAX(b)" << Q({"Total.fun"});
    QTest::newRow("operators belong to the name") << "a+b(c)" << Q({"a+b.fun"});
    QTest::newRow("nested parentheses") << "f((x))" << Q({"f.fun"});
    QTest::newRow("calls inside calls") << "Sum(IF(a, Avg(b)))" << Q({"Sum.fun", "Avg.fun"});
    QTest::newRow("numbers and empty names") << "(1) + 2(3)" << QStringList();
    QTest::newRow("several lines, each ending")
        << "LOAD \"a.seg\"\r\nCALL \"b\"\rDRAW \"c.FMT\"\n\r\nd(x)" << Q({"a.seg", "b.fun", "c.FMT", "d.fun"});
  }
  void scriptLinesNameTheirFiles() {
    QFETCH(QString, script);
    QFETCH(QStringList, names);
    QCOMPARE(Lines(ExtractScriptFileRefs(script.toStdString())), names);
  }

  void scriptIdsComeInTheirOrder() {
    const std::vector<int> fixed = BuildScriptIds("");
    QCOMPARE(fixed.size(), size_t(5 + 3 * 99));
    QCOMPARE((std::vector<int>(fixed.begin(), fixed.begin() + 8)),
             (std::vector<int>{10003, 10004, 10104, 10139, 10354, 11201, 11301, 11401}));
    QCOMPARE(fixed.back(), 11499);
    // 1200, 1300 and 1400 are bases, not lines.
    QVERIFY(std::find(fixed.begin(), fixed.end(), 11300) == fixed.end());

    const std::vector<int> configured = BuildScriptIds("5,7");
    QCOMPARE((std::vector<int>(configured.begin(), configured.begin() + 3)), (std::vector<int>{10005, 10007, 10003}));
    const std::vector<int> empty = BuildScriptIds(",7");
    QCOMPARE(empty.front(), 10000);
    QVERIFY_THROWS_EXCEPTION(EMorvoError, BuildScriptIds("5,x"));
  }

  // ---- the list -------------------------------------------------------------

  void theObjectFileGivesFourGroups() {
    const std::string file = LoadProject("proj/forms/invoice.obj");
    QVERIFY(!file.empty());
    WriteRegString("PackDevices", "-1");
    WriteRegString("PackSampleFiles", "-1");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();

    // Bare names, sorted without regard to case, each once: "=A1" is a
    // formula, "readme.txt" and "Readme.TXT" are one file, "data/sample.txt"
    // is no Windows path and stays, "logo.bmp" is no format.
    QCOMPARE(FForm->ListNames(), Q({"data/sample.txt", "head.fmt", "invoice.obj", "Layout.fmt", "main.seg",
                                    "Preview.pdf", "Printer.dev", "Readme.TXT", "Total.fun", "util.fun"}));
    QCOMPARE(FForm->CheckedNames(), FForm->ListNames());
    QCOMPARE(FForm->FFileName, QString("invoice.obj"));
    QCOMPARE(FForm->SaveFileName, QString::fromStdString(FRoot + "proj/forms/invoice.cab"));
    QCOMPARE(FForm->edBasePath->text(), QString::fromStdString(FRoot + "proj/forms/"));
    QCOMPARE(FForm->edBasePath->toolTip(), FForm->edBasePath->text());
  }

  void groupBoxesTickTheirOwnNames() {
    LoadProject("p/a.obj");
    // Stored settings: mandatories off, samples and specials on.
    WriteRegString("PackMandatorys", "0");
    WriteRegString("PackSampleFiles", "-1");
    FForm->FFileName = QString::fromStdString(FRoot + "p/a.obj");
    FForm->PrepareFileList();
    // main.seg is both mandatory and special: the special group comes last.
    QCOMPARE(FForm->CheckedNames(),
             Q({"data/sample.txt", "head.fmt", "main.seg", "Preview.pdf", "Readme.TXT", "Total.fun", "util.fun"}));

    FForm->cbSpecials->setChecked(false);
    QCOMPARE(FForm->CheckedNames(), Q({"data/sample.txt", "Preview.pdf", "Readme.TXT"}));
    FForm->cbMandatories->setChecked(true);
    QCOMPARE(FForm->CheckedNames(),
             Q({"a.obj", "data/sample.txt", "Layout.fmt", "main.seg", "Preview.pdf", "Readme.TXT"}));
    FForm->cbMandatories->setChecked(false);
    QVERIFY(!FForm->CheckedNames().contains("a.obj"));

    FForm->btnAllClick();
    QCOMPARE(FForm->CheckedNames(), FForm->ListNames());
    FForm->btnToggleClick();
    QVERIFY(FForm->CheckedNames().isEmpty());
    FForm->btnToggleClick();
    QCOMPARE(FForm->CheckedNames(), FForm->ListNames());
  }

  void addedFilesJoinNoGroup() {
    LoadProject("p/a.obj");
    FForm->FFileName = QString::fromStdString(FRoot + "p/a.obj");
    FForm->PrepareFileList();
    // A path of this machine is cut at "/"; a name already listed keeps one entry.
    FForm->clbFilenames->item(0)->setCheckState(Qt::Unchecked);
    FForm->clbFilenames->setCurrentRow(2);
    QStringList ticked = FForm->CheckedNames();
    const QString current = FForm->clbFilenames->currentItem()->text();
    dialogs::QueueFileAnswer(QString::fromStdString(FRoot + "other/Extra.txt\n" + FRoot + "x/MAIN.SEG"));
    FForm->btnAddClick();
    // The names listed before keep their ticks, and the current one stays current.
    ticked << "Extra.txt";
    ticked.sort(Qt::CaseInsensitive);
    QCOMPARE(FForm->CheckedNames(), ticked);
    QCOMPARE(FForm->clbFilenames->currentItem()->text(), current);
    QVERIFY(FForm->ListNames().contains("Extra.txt"));
    QCOMPARE(FForm->ListNames().filter("main.seg", Qt::CaseInsensitive).size(), 1);
    // Unticking a group leaves the added name alone.
    FForm->cbMandatories->setChecked(false);
    FForm->cbSpecials->setChecked(false);
    QCOMPARE(FForm->CheckedNames(), Q({"Extra.txt"}));
    // Cancelled: nothing changes.
    FForm->btnAddClick();
    QCOMPARE(FForm->CheckedNames(), Q({"Extra.txt"}));
  }

  void runtimesAddConfiguredScriptProperties() {
    // Runtime values of 5 and 7 only count when the configuration lists them.
    const std::string cfgFolder = FRoot + "cfg/";
    fs::create_directories(cfgFolder);
    for (const char* name : {"ObjectTypNum.txt", "ObjectProperties.txt"})
      fs::copy_file(DataDir() + name, cfgFolder + name, fs::copy_options::overwrite_existing);
    WriteFileBytes(cfgFolder + "MorvoObject.cfg", "[Settings]\r\nRuntimes=5,7\r\n");
    SetExecutableFolderOverride(cfgFolder);
    LoadProject("r/a.obj");
    TPackagerGroups groups;
    CollectPackagerGroups(groups);
    QVERIFY(groups.Special.IndexOf("runtime5.fun") >= 0);
    QVERIFY(groups.Special.IndexOf("seven.FMT") >= 0);
    QVERIFY(groups.Special.IndexOf("extra.fun") < 0);

    // A piece that is no number stops the list before any group is read.
    WriteFileBytes(cfgFolder + "MorvoObject.cfg", "[Settings]\r\nRuntimes=5,x\r\n");
    FForm->FFileName = QString::fromStdString(FRoot + "r/a.obj");
    try {
      FForm->PrepareFileList();
      QFAIL("a bad id list was taken");
    } catch (const EMorvoError& e) {
      QVERIFY2(std::string(e.what()).ends_with("MorvoObject.cfg\", section [Settings], key Runtimes"), e.what());
    }
    QVERIFY(FForm->ListNames().isEmpty());
    SetExecutableFolderOverride(DataDir());
  }

  void withoutObjectsOnlyTheFileItself() {
    FreeAllObjects();
    FForm->FFileName = QString::fromStdString(FRoot + "gone/Nothing.obj");
    FForm->PrepareFileList();
    QCOMPARE(FForm->ListNames(), Q({"Nothing.obj"}));
    QCOMPARE(FForm->CheckedNames(), Q({"Nothing.obj"}));
    // Here ":" may be part of the object file's name.
    FForm->FFileName = QString::fromStdString(FRoot + "gone/At 10:30.obj");
    FForm->PrepareFileList();
    QCOMPARE(FForm->ListNames(), Q({"At 10:30.obj"}));
    // A bare file name has no folder; the archive would lie in the working folder.
    FForm->FFileName = "plain.obj";
    FForm->PrepareFileList();
    QCOMPARE(FForm->edBasePath->text(), QString());
    QCOMPARE(FForm->SaveFileName, QString("plain.cab"));
  }

  void manyNamesStaySortedAndFoundAgain() {
    // A group read from text keeps the first spelling of a name.
    TNameList group;
    group.SetText("b.seg\r\nReadme.TXT\ra.seg\nreadme.txt\r\nB.SEG\r\n");
    QCOMPARE(group.Items(), (std::vector<std::string>{"a.seg", "b.seg", "Readme.TXT"}));

    // Names added in falling order, in both cases, each twice: one entry
    // each, in order, and every one found again by its other spelling.
    FreeAllObjects();
    FForm->FFileName = QString::fromStdString(FRoot + "m.obj");
    FForm->PrepareFileList();
    TNameList added(false);
    for (int i = 300; i >= 1; --i) {
      const std::string name = "N" + std::to_string(i) + (i % 2 ? ".seg" : ".FMT");
      added.Items().push_back(name);
      added.Items().push_back(LowerAscii(name));
    }
    FForm->AddFilesToList(added, false, true);
    QStringList names = FForm->ListNames();
    QCOMPARE(names.size(), 301);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return CompareNames(a.toStdString(), b.toStdString()) < 0; });
    QCOMPARE(names, sorted);
    TNameList upper(false);
    for (const QString& name : names) upper.Items().push_back(UpperAscii(name.toStdString()));
    FForm->CheckFilesInList(upper, true);
    QCOMPARE(FForm->CheckedNames(), names);
  }

  void basePathMovesUpToAProjectFolder() {
    fs::create_directories(FRoot + "proj/forms/deep");
    fs::create_directories(FRoot + "proj/FUN");
    QCOMPARE(GuessBasePath(FRoot + "proj/forms/deep/"), FRoot + "proj/");
    // A folder that has one itself stays.
    fs::create_directories(FRoot + "proj/forms/doc");
    QCOMPARE(GuessBasePath(FRoot + "proj/forms/deep"), FRoot + "proj/forms/");
    // Files named like the subfolders make no project folder: the search
    // goes past them (and finds nothing in the temporary folders above).
    fs::create_directories(FRoot + "files/inner");
    Make("files/inner/dev");
    Make("files/Fun", "not a folder");
    QVERIFY(GuessBasePath(FRoot + "files/inner/") != FRoot + "files/");
    // The root is never the base folder.
    QCOMPARE(GuessBasePath("/"), std::string("/"));
    QCOMPARE(GuessBasePath(""), std::string());
  }

  void guessedBaseFolderFromTheWindow() {
    fs::create_directories(FRoot + "proj/fun");
    const std::string file = LoadProject("proj/forms/a.obj");
    WriteRegString("PackGuessBasepath", "-1");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    QCOMPARE(FForm->edBasePath->text(), QString::fromStdString(FRoot + "proj/"));
    WriteRegString("PackGuessBasepath", "0");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    QCOMPARE(FForm->edBasePath->text(), QString::fromStdString(FRoot + "proj/forms/"));
  }

  // ---- settings -------------------------------------------------------------

  void settingsAreStoredAsTexts() {
    FForm->cbDocumentation->setChecked(true);
    FForm->cbMandatories->setChecked(false);
    FForm->cbPreservePath->setChecked(false);
    FForm->cbFiletype->setCurrentIndex(1);
    FForm->SavePackSettings();
    QCOMPARE(ReadRegString("PackDocumentation"), std::string("-1"));
    QCOMPARE(ReadRegString("PackMandatorys"), std::string("0"));
    QCOMPARE(ReadRegString("PackPreservePath"), std::string("0"));
    QCOMPARE(ReadRegString("PackShowResult"), std::string("0"));
    QCOMPARE(ReadRegString("PackMethod"), std::string("1"));
  }

  void missingOrBadSettingsGiveDefaults() {
    WriteRegString("PackShowResult", "");
    WriteRegString("PackDevices", "yes");
    WriteRegString("PackSpecials", "0");
    WriteRegString("PackSampleFiles", "2");
    WriteRegString("PackMethod", "zip");
    FForm->LoadPackSettings();
    QVERIFY(!FForm->cbDocumentation->isChecked());
    QVERIFY(FForm->cbMandatories->isChecked());
    QVERIFY(!FForm->cbDevices->isChecked());
    QVERIFY(!FForm->cbSpecials->isChecked());
    QVERIFY(FForm->cbSampleFiles->isChecked());
    QVERIFY(FForm->cbPreservePath->isChecked());
    QVERIFY(FForm->cbGuessBasepath->isChecked());
    QVERIFY(FForm->cbShowfiles->isChecked());
    QCOMPARE(FForm->cbFiletype->currentIndex(), 0);
    WriteRegString("PackMethod", "7");
    FForm->LoadPackSettings();
    QCOMPARE(FForm->cbFiletype->currentIndex(), -1);
    // Only integers are settings: texts and fractions give the defaults.
    WriteRegString("PackMandatorys", "False");
    WriteRegString("PackDevices", "True");
    WriteRegString("PackGuessBasepath", "0.0");
    WriteRegString("PackSampleFiles", "0.5");
    FForm->LoadPackSettings();
    QVERIFY(FForm->cbMandatories->isChecked() && FForm->cbGuessBasepath->isChecked());
    QVERIFY(!FForm->cbDevices->isChecked() && !FForm->cbSampleFiles->isChecked());
  }

  // ---- archives -------------------------------------------------------------

  void masksMatchLikeTheFileSearch() {
    QVERIFY(MatchesMask("Util.FUN", "util.fun"));
    QVERIFY(MatchesMask("a.obj", "*.OBJ"));
    QVERIFY(MatchesMask("abc", "a?c"));
    QVERIFY(!MatchesMask("ac", "a?c"));
    QVERIFY(MatchesMask("x.tar.gz", "*.*z"));
    QVERIFY(!MatchesMask("a.obj.bak", "*.obj"));
    QVERIFY(MatchesMask("", "*"));

    Make("t/one.txt");
    Make("t/sub/two.TXT");
    Make("t/.hidden/three.txt");
    Make("t/sub/.four.txt");
    Make("t/data/sample.txt");
    fs::create_directories(FRoot + "elsewhere");
    Make("elsewhere/five.txt");
    fs::create_directory_symlink(FRoot + "elsewhere", FRoot + "t/link");
    fs::create_symlink(FRoot + "elsewhere/five.txt", FRoot + "t/six.txt");
    // Hidden entries and symbolic links stay out.
    QCOMPARE(FindFilesByMask(FRoot + "t", "*.txt"),
             (std::vector<std::string>{"data/sample.txt", "one.txt", "sub/two.TXT"}));
    QCOMPARE(FindFilesByMask(FRoot + "t/", "data/sample.txt"), std::vector<std::string>{"data/sample.txt"});
    QCOMPARE(FindFilesByMask(FRoot + "t/", "sub\\*"), std::vector<std::string>{"sub/two.TXT"});
    QVERIFY(FindFilesByMask(FRoot + "t/", "").empty());
  }

  void zipHoldsEveryFileOfATickedNameWithItsPath() {
    // The worked example: two files of one name in two folders.
    const std::string file = LoadProject("proj/forms/a.obj");
    Make("proj/fun/util.fun", "function one");
    Make("proj/old/util.fun", "function two");
    Make("proj/unrelated.txt");
    WriteRegString("PackShowResult", "-1");
    WriteRegString("PackSpecials", "0");
    // The result box shows with the normal cursor, the work being done.
    TPackagerHost host = PackagerHost();
    bool busyCursorOnBox = true;
    host.ShowMessage = [&busyCursorOnBox, show = host.ShowMessage](const QString& Text, const QString& Caption) {
      busyCursorOnBox = QApplication::overrideCursor() != nullptr;
      show(Text, Caption);
    };
    SetPackagerHost(host);
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    FForm->edBasePath->setText(QString::fromStdString(FRoot + "proj/"));
    TickOnly({"a.obj", "util.fun"});
    const std::string archive = FRoot + "out/pack.zip";
    fs::create_directories(FRoot + "out");
    Package(archive, 1);

    QCOMPARE(ZipNames(archive), Q({"forms/a.obj", "fun/util.fun", "old/util.fun"}));
    QCOMPARE(ZipEntry(archive, "old/util.fun"), std::string("function two"));
    QCOMPARE(ZipEntry(archive, "forms/a.obj"), ReadFileBytes(DataDir() + "project.obj"));
    QCOMPARE(ZipComment(archive), QString("Created with Morvo Object Reader  V1.2.3.4"));
    // Deflate at its maximum level.
    QVERIFY(Run("zipinfo", {QString::fromStdString(archive), "forms/a.obj"}).contains("defX"));
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 3 of 2"));
    QVERIFY(!busyCursorOnBox);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(FForm->CheckedNames(), Q({"a.obj", "util.fun"}));
    QCOMPARE(LastMessage(),
             QString("These files were added/replaced in the package :\r\nforms/a.obj\r\nfun/util.fun\r\n"
                     "old/util.fun\r\n\r\nTotal files into Zip file : 3"));
    // The window's own file type came back; the stored one is what was saved.
    QCOMPARE(FForm->cbFiletype->currentIndex(), 0);
    QCOMPARE(ReadRegString("PackMethod"), std::string("0"));
    // The dialog proposes the bare name; its folder is the dialog's own.
    QCOMPARE(dialogs::Recorded().front().Request.FileName, QString("a"));
    QCOMPARE(dialogs::Recorded().front().Title, QString("Give the name of the Package"));
  }

  void zipIsUpdatedOnlyWithChangedFiles() {
    const std::string file = LoadProject("u/a.obj");
    Make("u/main.seg", "segment");
    Make("u/Layout.fmt", "format");
    SetTime(FRoot + "u/main.seg", 100);
    SetTime(FRoot + "u/Layout.fmt", 100);
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    const int ticked = FForm->CheckedNames().size();
    const std::string archive = FRoot + "u.zip";
    Package(archive, 1);
    QCOMPARE(ZipNames(archive), Q({"a.obj", "Layout.fmt", "main.seg"}));
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 3 of %1").arg(ticked));

    // Unchanged files: nothing reported, every name ends unticked; the
    // archive is up to date, its comment renewed by a newer program.
    TPackagerHost host = PackagerHost();
    host.ProgramVersionLabel = [] { return QString("V2"); };
    SetPackagerHost(host);
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    Package(archive, 1);
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 0 of %1").arg(ticked));
    QVERIFY(FForm->CheckedNames().isEmpty());
    QVERIFY(FForm->FUpToDate);
    QCOMPARE(ZipComment(archive), QString("Created with V2"));

    // One file grows: it alone is stored again; the other entries stay.
    Make("u/main.seg", "segment, longer");
    SetTime(FRoot + "u/main.seg", 100);
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    TickOnly({"main.seg"});
    Package(archive, 1);
    QCOMPARE(FForm->FResultList.Items(), std::vector<std::string>{"main.seg"});
    QCOMPARE(ZipNames(archive), Q({"a.obj", "Layout.fmt", "main.seg"}));
    QCOMPARE(ZipEntry(archive, "main.seg"), std::string("segment, longer"));
    // Same size, other time: stored again too.
    SetTime(FRoot + "u/Layout.fmt", 50);
    TickOnly({"Layout.fmt"});
    Package(archive, 1);
    QCOMPARE(FForm->FResultList.Items(), std::vector<std::string>{"Layout.fmt"});
  }

  void flatPathsWhenPathsAreNotPreserved() {
    Make("f/a/one.txt", "first");
    Make("f/b/one.txt", "second");
    Make("f/b/two.txt");
    auto writer = CreateZipArchiveWriter();
    writer->PreservePath = false;
    std::vector<std::string> processed;
    writer->OnProcessItem = [&](const std::string& n) { processed.push_back(n); };
    std::vector<int> progress;
    writer->OnItemProgress = [&](int Percent) { progress.push_back(Percent); };
    writer->Open(FRoot + "f", FRoot + "flat.zip", "c");
    writer->AddFiles("*.TXT");
    writer->Close();
    // The progress only grows, to the full bar.
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.empty() ? -1 : progress.back(), 100);
    // The first file of a name wins.
    QCOMPARE(processed, (std::vector<std::string>{"one.txt", "two.txt"}));
    QCOMPARE(ZipNames(FRoot + "flat.zip"), Q({"one.txt", "two.txt"}));
    QCOMPARE(ZipEntry(FRoot + "flat.zip", "one.txt"), std::string("first"));
  }

  void anArchiveBelowItsBaseFolderLeavesItselfOut() {
    Make("s/one.txt", "1");
    Make("s/all.zip", "");
    fs::remove(FRoot + "s/all.zip");
    for (int round = 0; round < 2; ++round) {
      auto writer = CreateZipArchiveWriter();
      writer->Open(FRoot + "s/", FRoot + "s/all.zip", "");
      writer->AddFiles("*");
      writer->Close();
    }
    QCOMPARE(ZipNames(FRoot + "s/all.zip"), Q({"one.txt"}));
    for (int round = 0; round < 2; ++round) {
      auto writer = CreateCabArchiveWriter();
      writer->Open(FRoot + "s", FRoot + "s/all.cab", "");
      writer->AddFiles("*.*");
      writer->Close();
    }
    const QString listing = Run("cabextract", {"-l", QString::fromStdString(FRoot + "s/all.cab")});
    QVERIFY(listing.contains("| one.txt"));
    QVERIFY(!listing.contains("| all.cab"));
  }

  // Cab and zip alike: a file that two ticked names match goes in once; a
  // name no Windows extractor may follow stays out and is named; a name that
  // is no UTF-8 is stored as its bytes without the UTF-8 mark.
  void eachFileOnceUnderASafeName_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("cab") << 0;
    QTest::newRow("zip") << 1;
  }
  void eachFileOnceUnderASafeName() {
    QFETCH(int, type);
    FRoot += std::string(QTest::currentDataTag()) + "/";
    const std::string file = LoadProject("n/a.obj");
    for (const char* name : {"n/a.fmt", "n/x\\..\\..\\evil.txt", "n/C:\\evil.txt", "n/bad\xE9.fmt"}) Make(name);
    // 301 bytes stored: more than a cabinet holds, nothing to a zip.
    const std::string longName = std::string(150, 'd') + "/" + std::string(146, 'l') + ".txt";
    Make("n/" + longName);
    WriteRegString("PackShowResult", "-1");
    WriteRegString("PackGuessBasepath", "0");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    TNameList masks(false);
    for (const char* mask : {"a.fmt", "*.fmt", "*.txt", "a.obj"}) masks.Add(mask);
    FForm->AddFilesToList(masks, true, true);
    TickOnly({"a.fmt", "*.fmt", "*.txt", "a.obj"});
    const std::string archive = FRoot + (type == 0 ? "n.cab" : "n.zip");
    Package(archive, type);
    std::vector<std::string> packaged{"a.fmt", "a.obj", "bad\xE9.fmt"};
    if (type == 1) packaged.push_back(longName);
    QCOMPARE(FForm->FResultList.Items(), packaged);
    QVERIFY2(
        LastMessage().endsWith("(a Windows extractor would take them out of its folder, or they are too long) :"
                               "\r\nC:\\evil.txt\r\n" +
                               QString::fromStdString(type == 0 ? longName + "\r\n" : "") + "x\\..\\..\\evil.txt\r\n"),
        qPrintable(LastMessage()));
    const std::string bytes = ReadFileBytes(archive);
    if (type == 0) {
      QCOMPARE(Run("gcab", {"-l", QString::fromStdString(archive)}).count(".fmt"), 2);
      // Attributes of the last entry: archive, without the UTF-8 mark.
      QCOMPARE(bytes.substr(bytes.find("bad\xE9") - 2, 2), std::string("\x20\x00", 2));
    } else {
      // Stored as shown, with the UTF-8 mark (bit 11) that every extractor reads.
      QVERIFY(ZipNames(archive).contains(QString("bad\u00E9.fmt")));
      QVERIFY(bytes[bytes.rfind("PK\x01\x02", bytes.rfind("bad\xC3\xA9.fmt")) + 9] & 0x08);
      // Such an entry is found again: kept while unchanged, replaced when changed.
      Make("n/bad\xE9.fmt", "changed");
      TickOnly({"*.fmt"});
      Package(archive, type);
      QCOMPARE(LastMessage(), QString("These files were added/replaced in the package :\r\nbad\u00E9.fmt\r\n\r\n"
                                      "Total files into Zip file : 1"));
      QCOMPARE(ZipNames(archive).size(), 4);
    }

    // No file found: a cab over an older one removes it and says so.
    TNameList gone(false);
    gone.Add("gone.fmt");
    FForm->AddFilesToList(gone, true, true);
    TickOnly({"gone.fmt"});
    Package(archive, type);
    QCOMPARE(fs::exists(archive), type == 1);
    QCOMPARE(LastMessage().endsWith("was removed."), type == 0);

    // The list shows a name that is no UTF-8 readably.
    TNameList odd(false);
    odd.Add("bad\xE9.fmt");
    FForm->AddFilesToList(odd, false, true);
    const auto listed = FForm->clbFilenames->findItems(NameFromNative("bad\xE9.fmt"), Qt::MatchExactly);
    QCOMPARE(listed.size(), 1);
    const auto* shown = qobject_cast<QStyledItemDelegate*>(FForm->clbFilenames->itemDelegate());
    QCOMPARE(shown->displayText(listed[0]->text(), {}), QString("bad\u00E9.fmt"));
  }

  void archiveNameFollowsTheChosenFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("written");
    QTest::newRow("zip typed, zip chosen") << "pack.zip" << 1 << "pack.zip";
    QTest::newRow("upper case extension") << "pack.ZIP" << 1 << "pack.zip";
    QTest::newRow("other extension kept") << "pack.txt" << 1 << "pack.txt.zip";
    QTest::newRow("cab chosen over a typed zip") << "pack.zip" << 0 << "pack.cab";
  }
  void archiveNameFollowsTheChosenFilter() {
    QFETCH(QString, typed);
    QFETCH(int, filter);
    QFETCH(QString, written);
    FRoot += std::string(QTest::currentDataTag()) + "/";
    const std::string file = LoadProject("n/a.obj");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    Package(FRoot + typed.toStdString(), filter);
    QVERIFY2(fs::exists(FRoot + written.toStdString()), qPrintable(FForm->FilesCaption()));
    QVERIFY(FForm->FilesCaption().startsWith("Done, Packaged 1 of "));
  }

  void namesWithFoldersOrColonsAreTickedAfterPackaging() {
    // "data/sample.txt" of the object file names its folder too; a file
    // chosen here may have ":" in its name. Both went in, so both stay ticked.
    const std::string file = LoadProject("t/a.obj");
    Make("t/data/sample.txt", "sample");
    Make("t/other/sample.txt", "not named by the entry");
    Make("t/log 10:30.txt", "log");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    dialogs::QueueFileAnswer(QString::fromStdString(FRoot + "t/log 10:30.txt"));
    FForm->btnAddClick();
    TickOnly({"data/sample.txt", "log 10:30.txt", "head.fmt"});
    for (int filter : {1, 0}) {
      Package(FRoot + "t" + std::to_string(filter) + ".zip", filter);
      QCOMPARE(FForm->FResultList.Count(), size_t(2));
      QCOMPARE(FForm->CheckedNames(), Q({"data/sample.txt", "log 10:30.txt"}));
      TickOnly({"data/sample.txt", "log 10:30.txt", "head.fmt"});
    }
    QCOMPARE(ZipNames(FRoot + "t1.zip"), Q({"data/sample.txt", "log 10:30.txt"}));
  }

  void typedNameTakesTheChosenFiltersExtension() {
    // Switched from cabinets to zips, a name typed without extension is the
    // zip: the file that is written, and that an overwrite question must name.
    dialogs::TFileDialogRequest request;
    request.Directory = QString::fromStdString(FRoot);
    request.Filters = {"Cabinet file (*.cab)", "Zip file (*.zip)"};
    request.DefaultSuffix = "cab";
    for (const auto& [filter, written] : {std::pair{1, "pkg.zip"}, std::pair{0, "pkg.cab"}}) {
      TFileChooser dialog(nullptr, TFileChooser::TMode::Save, request);
      auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
      QVERIFY(types);
      // As the user picks it.
      types->setCurrentIndex(filter);
      emit types->activated(filter);
      dialog.findChild<QLineEdit*>("fileNameEdit")->setText("pkg");
      dialog.accept();
      QCOMPARE(dialog.Chosen(), QStringList{QString::fromStdString(FRoot + written)});
    }
  }

  void cabinetHoldsTheFilesWithBackslashes() {
    const std::string file = LoadProject("c/forms/a.obj");
    Make("c/seg/main.seg", "segment bytes");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    FForm->edBasePath->setText(QString::fromStdString(FRoot + "c"));
    const std::string archive = FRoot + "c.cab";
    WriteFileBytes(archive, "an older file of that name is replaced");
    Package(archive, 0);
    QCOMPARE(FForm->FResultList.Items(), (std::vector<std::string>{"forms\\a.obj", "seg\\main.seg"}));
    int rc = -1;
    const QString listing = Run("cabextract", {"-l", QString::fromStdString(archive)}, &rc);
    QCOMPARE(rc, 0);
    QVERIFY(listing.contains("forms\\a.obj") || listing.contains("forms/a.obj"));
    QCOMPARE(Run("cabextract", {"-p", "-F", "seg*main.seg", QString::fromStdString(archive)}),
             QString("segment bytes"));
  }

  // Nothing to package writes no archive of either type, not even through
  // a link that leads nowhere yet.
  void nothingTickedWritesNoArchive_data() { eachFileOnceUnderASafeName_data(); }
  void nothingTickedWritesNoArchive() {
    QFETCH(int, type);
    const std::string file = LoadProject("e/a.obj");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    FForm->btnAllClick();
    FForm->btnToggleClick();
    const std::string archive = FRoot + (type == 0 ? "empty.cab" : "empty.zip");
    fs::create_symlink(FRoot + "target", archive);
    Package(archive, type);
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 0 of 0"));
    QVERIFY(fs::is_symlink(archive));
    QVERIFY(!fs::exists(FRoot + "target"));
  }

  void cancelledDialogWritesNothing() {
    const std::string file = LoadProject("x/a.obj");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    FForm->BtnPackageClick();  // no answer queued: cancelled
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 0 of 0"));
    QVERIFY(FForm->BtnPackage->isEnabled());
    QCOMPARE(fs::directory_iterator(FRoot + "x")->path().filename().string(), std::string("a.obj"));
    // The settings were stored all the same.
    QCOMPARE(ReadRegString("PackMandatorys"), std::string("-1"));
  }

  void failuresLeaveNoHalfArchiveAndTheWindowUsable() {
    const std::string file = LoadProject("w/a.obj");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();

    // A base folder that does not exist.
    FForm->edBasePath->setText(QString::fromStdString(FRoot + "missing/"));
    WriteRegString("PackGuessBasepath", "0");
    FForm->cbGuessBasepath->setChecked(false);
    Package(FRoot + "w.zip", 1);
    QVERIFY(!fs::exists(FRoot + "w.zip"));
    QVERIFY(LastMessage().contains("missing"));
    QVERIFY(FForm->BtnPackage->isEnabled());
    QCOMPARE(FForm->cbFiletype->currentIndex(), 0);

    // A file of the archive's name that is no zip stays as it was.
    FForm->edBasePath->setText(QString::fromStdString(FRoot + "w/"));
    WriteFileBytes(FRoot + "w.zip", "not a zip at all");
    Package(FRoot + "w.zip", 1);
    QCOMPARE(ReadFileBytes(FRoot + "w.zip"), std::string("not a zip at all"));

    // An empty file of that name holds nothing to keep.
    WriteFileBytes(FRoot + "w.zip", "");
    Package(FRoot + "w.zip", 1);
    QCOMPARE(ZipNames(FRoot + "w.zip"), Q({"a.obj"}));

    // A file that cannot be read: the older archive stays whole, and no
    // temporary file is left beside it.
    fs::remove(FRoot + "w.zip");
    Package(FRoot + "w.zip", 1);
    const QStringList before = ZipNames(FRoot + "w.zip");
    QCOMPARE(before, Q({"a.obj"}));
    Make("w/main.seg", "locked");
    fs::permissions(FRoot + "w/main.seg", fs::perms::none);
    if (::access((FRoot + "w/main.seg").c_str(), R_OK) != 0) {  // not when run as root
      Package(FRoot + "w.zip", 1);
      QVERIFY(LastMessage().contains("main.seg"));
      QCOMPARE(ZipNames(FRoot + "w.zip"), before);
    }
    fs::permissions(FRoot + "w/main.seg", fs::perms::owner_all);
    int files = 0;
    for (const auto& e : fs::directory_iterator(FRoot)) files += e.path().filename().string().rfind("w.zip", 0) == 0;
    QCOMPARE(files, 1);
  }

  // What stands at the archive's name is treated as by every writer of whole
  // files: a pipe is refused and stays, a replaced archive keeps its mode, a
  // new one gets the usual mode. Leftovers of killed writers older than a day
  // go; a younger one stays. The cabinet spools to TMPDIR when set.
  void theArchivesNameIsWrittenByTheWritersRules_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("plant");
    for (int type : {0, 1})
      for (const char* plant : {"a pipe", "mode 0600", "a new archive", "a link", "leftovers", "sync", "an owner"})
        QTest::newRow(qPrintable(QString(type == 0 ? "cab, " : "zip, ") + plant)) << type << QString(plant);
    QTest::newRow("cab, a TMPDIR that is missing") << 0 << QString("TMPDIR");
  }
  void theArchivesNameIsWrittenByTheWritersRules() {
    QFETCH(int, type);
    QFETCH(QString, plant);
    FRoot += std::string(QTest::currentDataTag()) + "/";
    FForm->FFileName = QString::fromStdString(LoadProject("p/a.obj"));
    FForm->PrepareFileList();
    const std::string archive = FRoot + (type == 0 ? "out.cab" : "out.zip");
    const auto aged = [](const std::string& Path, int Seconds) {
      fs::last_write_time(Path, fs::file_time_type::clock::now() - std::chrono::seconds(Seconds));
      return fs::path(Path).filename().string();
    };
    std::vector<std::string> gone, kept;
    ::umask(022);
    if (plant == "a pipe") QCOMPARE(::mkfifo(archive.c_str(), 0600), 0);
    if (plant == "a link") {
      fs::create_directories(FRoot + "real");
      fs::create_symlink(FRoot + "real/archive", archive);
    }
    if (plant == "mode 0600") {
      Package(archive, type);
      QCOMPARE(::chmod(archive.c_str(), 0600), 0);
    }
    if (plant == "leftovers") {
      for (int age : {2 * 86400, 3600}) {
        const pid_t child = fork();  // a writer killed with its temporary file open
        QVERIFY(child >= 0);
        if (child == 0) {
          TWholeFileWriter writer;
          _exit(writer.Open(archive) && writer.Write("MSCF") ? 0 : 1);
        }
        QCOMPARE(waitpid(child, nullptr, 0), child);
        for (const auto& e : fs::directory_iterator(FRoot)) {
          const std::string name = e.path().filename().string();
          if (name.starts_with(".wf-") && std::find(gone.begin(), gone.end(), name) == gone.end())
            gone.push_back(aged(e.path().string(), age));  // dead writers': whatever their age
        }
      }
      QCOMPARE(gone.size() + kept.size(), size_t(2));
    }
    // Root gives the archive away; it must come back to its owner.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    if (plant == "sync" || plant == "an owner") {
      Package(archive, type);
      QCOMPARE(::chown(archive.c_str(), owner, owner), 0);
      SetTime(FRoot + "p/a.obj", 10);  // a zip rewrites only for a change
    }
    const std::string older = plant == "sync" ? ReadFileBytes(archive) : std::string();
    const QByteArray tmpdir = qgetenv("TMPDIR");
    if (plant == "TMPDIR") qputenv("TMPDIR", QByteArray::fromStdString(FRoot + "missing"));
    const TFileOps calls = FileOps();
    if (plant == "sync")
      FileOps().Fsync = [](int) {
        errno = EIO;
        return -1;
      };
    Package(archive, type);
    FileOps() = calls;
    tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
    struct stat st {};
    if (plant == "a pipe") {
      QVERIFY2(LastMessage().startsWith("Cannot write file \"" + QString::fromStdString(archive) + "\". Not a regular"),
               qPrintable(LastMessage()));
      QVERIFY(::lstat(archive.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    } else if (plant == "sync") {
      QVERIFY2(LastMessage().endsWith("Input/output error."), qPrintable(LastMessage()));
      QCOMPARE(ReadFileBytes(archive), older);
    } else if (plant == "TMPDIR") {
      QVERIFY2(LastMessage().contains("temporary file"), qPrintable(LastMessage()));
      QVERIFY(!fs::exists(archive));
    } else {
      QVERIFY(::stat(archive.c_str(), &st) == 0 && S_ISREG(st.st_mode));
      QCOMPARE(st.st_mode & 0777, mode_t(plant == "mode 0600" ? 0600 : 0644));
      QCOMPARE(fs::is_symlink(archive), plant == "a link");  // followed, not replaced
      QCOMPARE(st.st_uid, plant == "an owner" ? owner : ::geteuid());
    }
    for (const std::string& name : gone) QVERIFY2(!fs::exists(FRoot + name), name.c_str());
    for (const std::string& name : kept) QVERIFY2(fs::exists(FRoot + name), name.c_str());
  }

  // A disk that fills while the archive is written: the older archive stays
  // byte for byte, no temporary file is left, and the failure is reported.
  // A large file is compressed in pieces on every processor: the archive
  // holds it whole, byte for byte the same archive as on one processor.
  void largeFilesGiveTheSameArchiveOnAnyProcessorCount_data() { eachFileOnceUnderASafeName_data(); }
  void largeFilesGiveTheSameArchiveOnAnyProcessorCount() {
    QFETCH(int, type);
    std::mt19937 rng(11);
    std::string text;
    while (text.size() < (5u << 20)) text += "line " + std::to_string(rng() % 5000) + " of the map\n";
    Make("big/map.txt", text);
    cpu_set_t all, one;
    QCOMPARE(::sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    std::string archives[2];
    for (int run = 0; run < 2; ++run) {
      QCOMPARE(::sched_setaffinity(0, sizeof(cpu_set_t), run == 0 ? &all : &one), 0);
      QCOMPARE(UsableCpus(), run == 0 ? unsigned(CPU_COUNT(&all)) : 1u);
      auto writer = type == 0 ? CreateCabArchiveWriter() : CreateZipArchiveWriter();
      const std::string archive = FRoot + "big" + std::to_string(run) + (type == 0 ? ".cab" : ".zip");
      writer->Open(FRoot + "big", archive, "");
      writer->AddFiles("map.txt");
      writer->Close();
      archives[run] = ReadFileBytes(archive);
    }
    ::sched_setaffinity(0, sizeof all, &all);
    QVERIFY(archives[0] == archives[1]);
    if (type == 1)
      QVERIFY(ZipEntry(FRoot + "big0.zip", "map.txt") == text);
    else
      QVERIFY(Run("cabextract", {"-p", QString::fromStdString(FRoot + "big0.cab")}).toStdString() == text);
  }

  void fullDiskLeavesTheOlderArchive_data() { eachFileOnceUnderASafeName_data(); }
  void fullDiskLeavesTheOlderArchive() {
    QFETCH(int, type);
    FRoot += std::string(QTest::currentDataTag()) + "/";
    std::string noise(300000, '\0');
    std::mt19937 rng(7);
    for (char& c : noise) c = static_cast<char>(rng());
    const std::string file = LoadProject("full/a.obj");
    // A long name makes the cabinet's tables large enough to tell the
    // archive from its spool by their sizes.
    const std::string big = "big" + std::string(200, 'x') + ".bin";
    Make("full/" + big, noise);
    SetTime(FRoot + "full/" + big, 100);
    const std::string archive = FRoot + (type == 0 ? "full.cab" : "full.zip");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    FForm->SaveFileName = QString::fromStdString(archive);
    FForm->cbFiletype->setCurrentIndex(type);
    TNameList names(false);
    names.Add(big);
    FForm->AddFilesToList(names, true, true);
    QVERIFY(FForm->CreatePackage() >= 0);
    const std::string before = ReadFileBytes(archive);
    // The new archive is about as large as the old one; the limit lets the cabinet's
    // spool (its data without the tables) through, not the archive itself.
    noise[0] ^= 1;
    Make("full/" + big, noise);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{before.size() - 120, old.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int result = FForm->CreatePackage();
    ::setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(result, -1);
    QVERIFY(LastMessage().startsWith("Cannot write file \"" + QString::fromStdString(archive)));
    QCOMPARE(ReadFileBytes(archive), before);
    QCOMPARE(std::distance(fs::directory_iterator(FRoot), fs::directory_iterator()), 2);  // full/ and the archive
  }

  void documentationJoinsThePackageTicked() {
    const std::string file = LoadProject("d/a.obj");
    FDocumentation = QString::fromStdString(Make("d/a.doc", "the documentation"));
    WriteRegString("PackDocumentation", "-1");
    FForm->FFileName = QString::fromStdString(file);
    FForm->PrepareFileList();
    const int ticked = FForm->CheckedNames().size();
    Package(FRoot + "d.zip", 1);
    QVERIFY(FForm->ListNames().contains("a.doc"));
    QCOMPARE(ZipEntry(FRoot + "d.zip", "a.doc"), std::string("the documentation"));
    QCOMPARE(FForm->FilesCaption(), QString("Done, Packaged 2 of %1").arg(ticked + 1));

    // An export that failed: the older file beside the object file stays
    // out, and the result list says why, after the listed files found nowhere.
    FDocumentationFailure = "Cannot write file \"a.doc\". Read-only file system.";
    FForm->cbShowfiles->setChecked(true);
    TickOnly({"a.obj", "a.doc", "main.seg", "Layout.fmt", "util.fun"});  // util.fun: a guess
    Package(FRoot + "d2.zip", 1);
    QCOMPARE(ZipNames(FRoot + "d2.zip"), Q({"a.obj"}));
    QVERIFY2(LastMessage().endsWith("Missing, no file of these names below \"" + QString::fromStdString(FRoot) +
                                    "d/\" :\r\nLayout.fmt\r\nmain.seg\r\n\r\n\r\nThe documentation is missing "
                                    "from the package: \"" +
                                    FDocumentation + "\" was not written. " + FDocumentationFailure),
             qPrintable(LastMessage()));

    // No file loaded: the export gives no name, and nothing joins the list.
    FDocumentation.clear();
    const int entries = FForm->ListNames().size();
    FForm->CreatePackage();
    QCOMPARE(FForm->ListNames().size(), entries);
  }

  void showingTheWindowBuildsTheList() {
    const std::string file = LoadProject("s/a.obj");
    FForm->FFileName = QString::fromStdString(file);
    dialogs::QueueDialogAction([this](QDialog* d) {
      QCOMPARE(d, static_cast<QDialog*>(FForm));
      QVERIFY(FForm->ListNames().contains("a.obj"));
      // The files' bar shows its caption centred and bold; the file's bar is thin.
      QCOMPARE(FForm->pbFile->height(), 4);
      QVERIFY(FForm->pbFiles->font().bold());
      QCOMPARE(FForm->pbFiles->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
      FForm->btnClose->click();
    });
    QCOMPARE(dialogs::ExecDialog(FForm), int(QDialog::Rejected));
    // Closing stored the window's place.
    const std::string store =
        ReadFileBytes(qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Kelbrun/ZIB/HKEY_CURRENT_USER.reg");
    QVERIFY(store.find("\"FrmPackager\"=hex:") != std::string::npos);
  }

  void theMenuShowsThePackagerForTheLoadedFile() {
    CreateAllForms();
    QVERIFY(FrmPackager && FrmMorvoReader);
    // Nothing loaded: nothing shows.
    dialogs::ClearRecorded();
    FrmMorvoReader->MnuPackagerClick();
    QVERIFY(dialogs::Recorded().isEmpty());

    fs::create_directories(FRoot + "m");
    fs::copy_file(DataDir() + "project.obj", FRoot + "m/menu.obj");
    FrmMorvoReader->OpenObjectFile(QString::fromStdString(FRoot + "m/menu.obj"));
    QStringList listed;
    dialogs::QueueDialogAction([&listed](QDialog*) { listed = FrmPackager->ListNames(); });
    FrmMorvoReader->MnuPackagerClick();
    QVERIFY(listed.contains("menu.obj"));
    QCOMPARE(FrmPackager->FFileName, QString("menu.obj"));
    // The comment names the about window's version text.
    dialogs::QueueFileAnswer(QString::fromStdString(FRoot + "menu.zip"));
    dialogs::QueueFilterAnswer(1);
    FrmPackager->BtnPackageClick();
    QCOMPARE(ZipComment(FRoot + "menu.zip"), "Created with " + FrmAbout->laProgVer->text());
    FreeAllForms();
    QVERIFY(!FrmPackager);
    NewForm();
  }

  // ---- the command line -----------------------------------------------------

  // Runs a copy of the program beside the test's definition files, which it
  // takes for its own; false when it did not end by itself.
  bool RunProgram(const QStringList& Args, int ExitStatus = 0, QString* Output = nullptr) {
    const std::string bin = FRoot + "bin/";
    if (!fs::exists(bin)) {
      fs::create_directories(bin);
      fs::copy_file(testsupport::BinDir() + "/morvo-reader", bin + "morvo-reader");
      for (const char* name : {"MorvoObject.cfg", "ObjectProperties.txt", "ObjectTypNum.txt"})
        fs::copy_file(DataDir() + name, bin + name);
      fs::copy_file(testsupport::BinDir() + "/XMLCodes.txt", bin + "XMLCodes.txt");
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(FRoot));
    testsupport::StartWithNameBytes(p, bin + "morvo-reader", Args);
    if (!p.waitForFinished(60000)) {
      p.kill();
      p.waitForFinished();
      return false;
    }
    if (Output) *Output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == ExitStatus;
  }

  void commandLineWritesTheArchiveBesideTheFile_data() {
    QTest::addColumn<QByteArray>("name");  // of the object file, without extension
    QTest::newRow("plain") << QByteArray("Invoice");
    QTest::newRow("a name that is no UTF-8") << QByteArray("Factur\xE9");
    QTest::newRow("a name with quotes") << QByteArray(
        "Facture \"n\xC2\xB0"
        "1\" l'\xC3\xA9t\xC3\xA9");
  }
  void commandLineWritesTheArchiveBesideTheFile() {
    QFETCH(QByteArray, name);
    const std::string invoice = name.toStdString();
    fs::create_directories(FRoot + "proj/forms");
    fs::copy_file(DataDir() + "project.obj", FRoot + "proj/forms/" + invoice + ".obj");
    Make("proj/fun/util.fun", "util");
    // "C:\proj\dev\Printer.dev" of the object file, as this disk spells it.
    Make("proj/dev/PRINTER.DEV", "device");
    Make("proj/forms/old.zip", "");
    WriteRegString("PackMethod", "7");  // no item: a zip
    WriteRegString("PackShowResult", "-1");
    WriteRegString("PackDocumentation", "-1");
    WriteRegString("PackDevices", "-1");
    WriteRegString("PackSampleFiles", "-1");
    Make("proj/samples/Preview.pdf", "preview");
    WriteRegString("OpenNonQSFiles", "0");

    QVERIFY(RunProgram({"/P", NameFromNative(FRoot + "proj/forms/" + invoice + ".obj")}));
    const std::string archive = FRoot + "proj/forms/" + invoice + ".zip";
    // The base folder moved up to the project folder (it has "fun"); the
    // documentation is the default export "doc", written beside the object file.
    // An entry name that is no UTF-8 is stored as it is shown.
    const std::string entry = "forms/" + NativeNameAsUtf8(invoice);
    QCOMPARE(ZipNames(archive),
             Q({"dev/PRINTER.DEV", entry + ".doc", entry + ".obj", "fun/util.fun", "samples/Preview.pdf"}));
    QVERIFY(ZipComment(archive).startsWith("Created with "));
    QCOMPARE(ZipEntry(archive, "dev/PRINTER.DEV"), std::string("device"));
    QVERIFY(!fs::exists(FRoot + "proj/forms/" + invoice + ".cab"));

    // Again, without documentation: every file is there unchanged, which a
    // build script must see as success.
    WriteRegString("PackDocumentation", "0");
    WriteRegString("PackShowResult", "0");
    QString output;
    QVERIFY(RunProgram({"/P", NameFromNative(FRoot + "proj/forms/" + invoice + ".obj")}, 0, &output));
    QVERIFY2(output.endsWith(".zip\" is up to date: it holds every file unchanged.\n"), qPrintable(output));
    if (QTest::currentDataTag() != QLatin1String("plain")) return;

    // A file whose objects cannot be read goes in alone, and the user hears why.
    WriteFileBytes(FRoot + "proj/forms/Broken.obj", ReadFileBytes(DataDir() + "project.obj").substr(0, 400));
    QVERIFY(RunProgram({"/p", QString::fromStdString(FRoot + "proj/forms/Broken.obj")}, 0, &output));
    QCOMPARE(ZipNames(FRoot + "proj/forms/Broken.zip"), Q({"forms/Broken.obj"}));
    QVERIFY2(output.contains("Broken.obj") &&
                 output.contains(" The files it refers to could not be collected: it is packaged alone.\n"),
             qPrintable(output));
  }

  void commandLineWithoutAFileEndsWithoutAnArchive() {
    // The packaging runs all the same and fails on the missing folder; the
    // program reports it (nobody answers here) and ends.
    QVERIFY(RunProgram({"/p", QString::fromStdString(FRoot + "nowhere/Gone.obj")}, 1));
    QVERIFY(RunProgram({"/p"}, 1));
    QCOMPARE(std::distance(fs::directory_iterator(FRoot), fs::directory_iterator()), 1);  // bin/ alone
  }
};

QTEST_MAIN(TestPackager)
#include "tst_packager.moc"
