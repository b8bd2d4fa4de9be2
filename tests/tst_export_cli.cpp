// The command-line export "/e": the built program, run headless, writes the
// default export beside the object file and ends without showing a window.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "Accessors.h"
#include "AppPaths.h"
#include "MorvoObjRead.h"
#include "MorvoObject.h"
#include "TestSupport.h"
#include "UnattendedCommands.h"
#include "fMain.h"
#include "fWait.h"
#include "fdmZIB.h"

using testsupport::ReadFileBytes;

namespace {
namespace fs = std::filesystem;

// A copy of the program beside the definition files of the worked example,
// so it takes them for its own.
struct TProgramFolder {
  QTemporaryDir Dir;
  std::string Bin;
  std::string Work;
  TProgramFolder() {
    Bin = Dir.path().toStdString() + "/bin/";
    Work = Dir.path().toStdString() + "/work/";
    fs::create_directories(Bin);
    fs::create_directories(Work);
    fs::copy_file(testsupport::BinDir() + "/morvo-reader", Bin + "morvo-reader");
    for (const char* name : {"MorvoObject.cfg", "ObjectProperties.txt", "ObjectTypNum.txt"})
      fs::copy_file(testsupport::TestDataDir() + "/export/" + name, Bin + name);
    fs::copy_file(testsupport::TestDataDir() + "/export/sample.obj", Work + "sample.obj");
  }
  // Runs the program; false when it did not end by itself.
  bool Run(const QStringList& Args, int* ExitCode = nullptr, QByteArray* ErrorOutput = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(Work));
    p.start(QString::fromStdString(Bin + "morvo-reader"), Args);
    if (!p.waitForFinished(60000)) {
      p.kill();
      p.waitForFinished();
      return false;
    }
    if (ExitCode) *ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (ErrorOutput) *ErrorOutput = p.readAllStandardError();
    return true;
  }
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Work)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Records which windows were shown, by class.
class TShowWatch : public QObject {
 public:
  QStringList Shown;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Show && Watched->isWidgetType()) Shown << Watched->metaObject()->className();
    return false;
  }
};

std::string Expected() { return ReadFileBytes(testsupport::TestDataDir() + "/export/sample-semantic.tst.expected"); }
}  // namespace

class TestExportCli : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    // A file that is no object file must not go to an editor during the tests.
    WriteRegString("OpenNonQSFiles", "0");
  }

  void theSwitchWritesTheDefaultExportBesideTheFile_data() {
    QTest::addColumn<QString>("sw");
    QTest::newRow("/e") << "/e";
    QTest::newRow("/E as the file manager passes it") << "/E";
  }
  void theSwitchWritesTheDefaultExportBesideTheFile() {
    QFETCH(QString, sw);
    TProgramFolder program;
    int exitCode = -1;
    // Ending by itself shows that the message loop never waited on a window.
    QVERIFY(program.Run({sw, QString::fromStdString(program.Work + "sample.obj")}, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(program.Work + "sample.tst")),
             QByteArray::fromStdString(Expected()));
  }

  void anEarlierExportIsReplaced() {
    TProgramFolder program;
    QVERIFY(testsupport::WriteFileBytes(program.Work + "sample.tst",
                                        "earlier export, longer than the new one" + std::string(1000, 'x')));
    QVERIFY(program.Run({"/e", QString::fromStdString(program.Work + "sample.obj")}));
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(program.Work + "sample.tst")),
             QByteArray::fromStdString(Expected()));
  }

  void nothingIsWrittenWithoutAnObjectFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("plainText");
    QTest::newRow("no file argument") << QStringList{"/e"} << false;
    QTest::newRow("a file that does not exist") << QStringList{"/e", "missing.obj"} << false;
    QTest::newRow("a file that is no object file") << QStringList{"/e", "notes.txt"} << true;
  }
  void nothingIsWrittenWithoutAnObjectFile() {
    QFETCH(QStringList, args);
    QFETCH(bool, plainText);
    TProgramFolder program;
    if (plainText) QVERIFY(testsupport::WriteFileBytes(program.Work + "notes.txt", "just some text\r\nno marker\r\n"));
    const std::vector<std::string> before = program.WorkFiles();
    int exitCode = -1;
    QVERIFY(program.Run(args, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(program.WorkFiles(), before);
  }

  void aFileThatIsNoObjectFileGoesToTheEditorAndIsNotExported() {
    TProgramFolder program;
    const std::string marker = program.Work + "editor-was-given";
    const std::string editor = program.Bin + "editor.sh";
    QVERIFY(testsupport::WriteFileBytes(editor, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + marker + ".part\" && mv \"" +
                                                    marker + ".part\" \"" + marker + "\"\n"));
    fs::permissions(editor, fs::perms::owner_all);
    QVERIFY(testsupport::WriteFileBytes(program.Work + "notes.txt", "just some text\r\nno marker\r\n"));
    WriteRegString("OpenNonQSFiles", "-1");
    WriteRegString("ExternalEditor", editor);
    int exitCode = -1;
    const bool ended = program.Run({"/e", QString::fromStdString(program.Work + "notes.txt")}, &exitCode);
    WriteRegString("OpenNonQSFiles", "0");
    WriteRegString("ExternalEditor", "");
    QVERIFY(ended);
    QCOMPARE(exitCode, 0);
    // The editor runs on its own, unwaited for.
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(marker), 10000);
    QCOMPARE(QString::fromStdString(ReadFileBytes(marker)), QString::fromStdString(program.Work + "notes.txt"));
    QCOMPARE(program.WorkFiles(), (std::vector<std::string>{"editor-was-given", "notes.txt", "sample.obj"}));
  }

  void aFailingExportIsReportedOnTheErrorOutput() {
    TProgramFolder program;
    std::string cfg = ReadFileBytes(program.Bin + "MorvoObject.cfg");
    const size_t title = cfg.find("TitleLine=");
    QVERIFY(title != std::string::npos);
    cfg.insert(title, "PreBody1=%d\r\n");
    QVERIFY(testsupport::WriteFileBytes(program.Bin + "MorvoObject.cfg", cfg));
    QByteArray errors;
    int exitCode = -1;
    QVERIFY(program.Run({"/e", QString::fromStdString(program.Work + "sample.obj")}, &exitCode, &errors));
    QCOMPARE(exitCode, 0);
    QVERIFY(!fs::exists(program.Work + "sample.tst"));
    QVERIFY2(errors.contains("'%d'"), errors.constData());
  }

  // In this process, to see every window that shows: the wait window stands,
  // the main window never appears, and the windows are freed at the end.
  void theMainWindowIsNeverShown() {
    TProgramFolder program;
    SetExecutableFolderOverride(program.Bin);
    CreateAllForms();
    TShowWatch watch;
    qApp->installEventFilter(&watch);
    const bool handled =
        RunUnattendedCommand({"morvo-reader", "/e", QString::fromStdString(program.Work + "sample.obj")});
    qApp->removeEventFilter(&watch);
    const bool freed = !FrmMorvoReader && !FrmWait;
    FreeAllForms();
    delete dmZIB;
    dmZIB = nullptr;
    FreeAllObjects();
    SetExecutableFolderOverride({});
    QVERIFY(handled);
    QVERIFY(freed);
    QVERIFY2(!watch.Shown.contains("TFrmMorvoReader"), qPrintable(watch.Shown.join(',')));
    QVERIFY2(watch.Shown.contains("TFrmWait"), qPrintable(watch.Shown.join(',')));
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(program.Work + "sample.tst")),
             QByteArray::fromStdString(Expected()));
  }

  // Scripts start the export where there is no display at all.
  void withoutAnyDisplayTheExportRunsOffscreen_data() {
    QTest::addColumn<QByteArray>("sw");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<QByteArray>("chosen");
    QTest::newRow("/e, no display") << QByteArray("/e") << QByteArray() << QByteArray() << QByteArray("offscreen");
    QTest::newRow("/E, no display") << QByteArray("/E") << QByteArray() << QByteArray() << QByteArray("offscreen");
    QTest::newRow("/p, no display") << QByteArray("/p") << QByteArray() << QByteArray() << QByteArray("offscreen");
    QTest::newRow("a display") << QByteArray("/e") << QByteArray(":0") << QByteArray() << QByteArray();
    QTest::newRow("the caller's platform")
        << QByteArray("/e") << QByteArray() << QByteArray("minimal") << QByteArray("minimal");
    QTest::newRow("a window of its own") << QByteArray("/c") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("a file name") << QByteArray("/ex") << QByteArray() << QByteArray() << QByteArray();
  }
  void withoutAnyDisplayTheExportRunsOffscreen() {
    QFETCH(QByteArray, sw);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, platform);
    QFETCH(QByteArray, chosen);
    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")};
    qunsetenv("WAYLAND_DISPLAY");
    display.isEmpty() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
    platform.isEmpty() ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", platform);
    char program[] = "morvo-reader";
    char file[] = "order.obj";
    char* argv[] = {program, sw.data(), file, nullptr};
    PrepareUnattendedPlatform(3, argv);
    const QByteArray result = qgetenv("QT_QPA_PLATFORM");
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (int i = 0; i < 3; ++i) saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
    QCOMPARE(result, chosen);
  }

  void otherArgumentsAreNoExportSwitch_data() {
    QTest::addColumn<QString>("arg");
    QTest::newRow("a file name") << "sample.obj";
    QTest::newRow("a longer switch") << "/ex";
    QTest::newRow("no slash") << "e";
  }
  void otherArgumentsAreNoExportSwitch() {
    QFETCH(QString, arg);
    TProgramFolder program;
    SetExecutableFolderOverride(program.Bin);
    CreateAllForms();
    const bool handled =
        RunUnattendedCommand({"morvo-reader", arg, QString::fromStdString(program.Work + "sample.obj")});
    const bool kept = FrmMorvoReader != nullptr;
    FreeAllForms();
    delete dmZIB;
    dmZIB = nullptr;
    FreeAllObjects();
    SetExecutableFolderOverride({});
    QVERIFY(!handled);
    QVERIFY(kept);
    QCOMPARE(program.WorkFiles(), std::vector<std::string>{"sample.obj"});
  }
};

QTEST_MAIN(TestExportCli)
#include "tst_export_cli.moc"
