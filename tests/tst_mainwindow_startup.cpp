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

  // Never an abort: without a display the start ends with 1 and one line; a bad
  // view leaves the configuration window to run (offscreen it ends cancelled).
  void aStartThatCannotGoOnNeverAborts_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("view");  // the one view's section, empty: as shipped
    QTest::addColumn<int>("status");       // 1: started without a display; -1: a window may stay open
    for (const char* sw : {"", "/c", "/v", "/First"})
      QTest::addRow("no display %s", sw) << QString(sw).split(' ', Qt::SkipEmptyParts) << QByteArray() << 1;
    for (const char* view : {"Fields=20;338", "MandatoryFields=338 ,339"}) {
      QTest::addRow("%s, a plain start", view) << QStringList() << QByteArray(view) << -1;
      QTest::addRow("%s, /c", view) << QStringList{"/c"} << QByteArray(view) << 0;
    }
  }
  void aStartThatCannotGoOnNeverAborts() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, view);
    QFETCH(int, status);
    const QString exe = Install("start", true);
    QVERIFY(testsupport::WriteFileBytes((FRoot.path() + "/start/MorvoObject.cfg").toStdString(),
                                        "[Settings]\r\nViews=V\r\n[V]\r\n" + view.toStdString()));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
      if (status == 1) env.remove(name);
    p.setProcessEnvironment(env);
    const bool ended = EndsBy(p, exe, args, 1500);
    const QByteArray errors = p.readAllStandardError();
    QVERIFY2(!ended || p.exitStatus() == QProcess::NormalExit, errors.constData());
    QVERIFY2(status < 0 || (ended && p.exitCode() == status && errors.count('\n') == status), errors.constData());
    QVERIFY(status < 1 || errors.startsWith("Morvo Object Reader: cannot open the display"));
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
