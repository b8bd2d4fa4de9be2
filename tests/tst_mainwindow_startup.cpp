// The start-up routine, seen from outside: the program run as a process from
// a folder of its own, with or without its definition files.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "Accessors.h"
#include "TestSupport.h"

class TstMainWindowStartup : public QObject {
  Q_OBJECT

  QTemporaryDir FRoot;

  // A folder holding a copy of the program and, when asked, its definition files.
  QString Install(const QString& Name, bool WithDefinitions) {
    const QString folder = FRoot.path() + "/" + Name;
    QDir().mkpath(folder);
    const QString exe = folder + "/morvo-reader";
    if (QFile::exists(exe)) return exe;
    if (!QFile::copy(QString::fromStdString(testsupport::BinDir() + "/morvo-reader"), exe)) return {};
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (WithDefinitions)
      for (const char* name : {"ObjectProperties.txt", "ObjectTypNum.txt", "MorvoObject.cfg", "XMLCodes.txt"})
        QFile::copy(QString::fromStdString(testsupport::BinDir() + "/") + name, folder + "/" + name);
    return exe;
  }

  // Runs the program; true when it ended by itself within the time.
  static bool EndsBy(QProcess& Process, const QString& Exe, const QStringList& Args, int Ms) {
    Process.start(Exe, Args);
    if (!Process.waitForStarted(5000)) return false;
    if (Process.waitForFinished(Ms)) return true;
    Process.kill();
    Process.waitForFinished(5000);
    return false;
  }

 private slots:
  void initTestCase() { QVERIFY(FRoot.isValid()); }

  void withoutThePropertyTableTheProgramEndsSilently() {
    const QString exe = Install("bare", false);
    QVERIFY(!exe.isEmpty());
    QProcess p;
    QVERIFY(EndsBy(p, exe, {}, 10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().isEmpty());
  }

  void aFolderNamedLikeThePropertyTableDoesNotCount() {
    const QString exe = Install("folder", false);
    QVERIFY(QDir().mkpath(FRoot.path() + "/folder/ObjectProperties.txt"));
    QProcess p;
    QVERIFY(EndsBy(p, exe, {FRoot.path()}, 10000));
    QCOMPARE(p.exitCode(), 0);
  }

  void aMissingFileArgumentLeavesTheWindowOpen_data() {
    QTest::addColumn<QString>("argument");
    QTest::newRow("nothing") << "";
    QTest::newRow("missing file") << "no-such-file.dcl";
    QTest::newRow("a folder") << ".";
    QTest::newRow("a switch written in other cases") << "/FIRST";
  }
  void aMissingFileArgumentLeavesTheWindowOpen() {
    QFETCH(QString, argument);
    const QString exe = Install("full", true);
    QVERIFY(!exe.isEmpty());
    QProcess p;
    p.setWorkingDirectory(FRoot.path());
    // The main window runs its message loop until someone closes it.
    QVERIFY(!EndsBy(p, exe, argument.isEmpty() ? QStringList() : QStringList{argument}, 1500));
  }

  void aFileThatIsNoObjectFileGoesToTheEditorAndTheProgramEnds() {
    const QString exe = Install("editor", true);
    QVERIFY(!exe.isEmpty());
    const QString editor = FRoot.path() + "/editor/fake-editor.sh";
    const QString record = FRoot.path() + "/editor/opened.txt";
    QVERIFY(testsupport::WriteFileBytes(editor.toStdString(),
                                        "#!/bin/sh\nprintf '%s' \"$1\" > '" + record.toStdString() + "'\n"));
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteRegString("ExternalEditor", editor.toStdString());
    WriteRegString("OpenNonQSFiles", "-1");
    const QString text = FRoot.path() + "/editor/notes.txt";
    QVERIFY(testsupport::WriteFileBytes(text.toStdString(), "no marker here\r\n"));

    QProcess p;
    QVERIFY(EndsBy(p, exe, {text}, 10000));
    QCOMPARE(p.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(testsupport::ReadFileBytes(record.toStdString())), text, 5000);
    WriteRegString("OpenNonQSFiles", "0");
  }
};

QTEST_GUILESS_MAIN(TstMainWindowStartup)
#include "tst_mainwindow_startup.moc"
