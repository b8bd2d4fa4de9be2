// The command-line export "/e": the built program, run headless, writes the
// default export beside the object file and ends without showing a window.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "Accessors.h"
#include "TestSupport.h"

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
  bool Run(const QStringList& Args, int* ExitCode = nullptr) {
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
    return true;
  }
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Work)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
};

QTEST_GUILESS_MAIN(TestExportCli)
#include "tst_export_cli.moc"
