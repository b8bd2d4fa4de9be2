// The windows on a real desktop: an X server of its own (Xvfb) with a window
// manager (openbox) that frames, stacks and decorates them. Off screen there
// is no frame and no window manager, so none of this shows there.
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>
#include <csignal>

#include "AppPaths.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "MorvoObjRead.h"
#include "Registry.h"
#include "TestSupport.h"
#include "fFind.h"
#include "fMain.h"
#include "fWait.h"

namespace {

pid_t gServer = 0;
pid_t gWindowManager = 0;
QString gMissing;  // what is not installed; the tests then skip
bool gReady = false;
QString gProblem;  // why the desktop did not start

// Starts a program that dies with this process, whatever ends it.
pid_t Spawn(const std::vector<std::string>& Args, int KeepFd) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  for (int fd = 3; fd < 256; ++fd)
    if (fd != KeepFd) close(fd);
  std::vector<char*> argv;
  for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

void Stop(pid_t& Pid) {
  if (Pid <= 0) return;
  kill(Pid, SIGTERM);
  waitpid(Pid, nullptr, 0);
  Pid = 0;
}

QString XProp(const QStringList& Args) {
  QProcess p;
  p.start("xprop", Args);
  p.waitForFinished(5000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The window manager is ready once it names its check window on the root.
bool StartWindowManager() {
  gWindowManager = Spawn({"openbox", "--sm-disable"}, -1);
  for (int i = 0; i < 400; ++i) {
    if (XProp({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")) return true;
    usleep(50000);
  }
  return false;
}

// Gone with its check window, so that the next one is waited for.
void StopWindowManager() {
  Stop(gWindowManager);
  XProp({"-root", "-remove", "_NET_SUPPORTING_WM_CHECK"});
}

// A free display number comes from the server itself, so tests running side by side never meet.
bool StartDesktopOnce() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  gServer =
      Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, fds[1]);
  close(fds[1]);
  std::string number;
  pollfd pfd{fds[0], POLLIN, 0};
  char c = 0;
  while (poll(&pfd, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return (gProblem = "Xvfb named no display"), false;
  qputenv("DISPLAY", QByteArray(":") + QByteArray::fromStdString(number));
  if (StartWindowManager()) return true;
  return (gProblem = "openbox did not come up on :" + QString::fromStdString(number)), false;
}

// Other programs of a busy machine may take the display first: try again.
bool StartDesktop() {
  for (const char* tool : {"Xvfb", "openbox", "xprop"})
    if (QStandardPaths::findExecutable(tool).isEmpty()) gMissing += QString(" ") + tool;
  for (int attempt = 0; attempt < 3 && gMissing.isEmpty(); ++attempt, Stop(gWindowManager), Stop(gServer))
    if (StartDesktopOnce()) return qputenv("QT_QPA_PLATFORM", "xcb"), true;
  return false;
}

QStringList RootList(const char* Property) {
  const QString out = XProp({"-root", Property});
  const qsizetype hash = out.indexOf('#');
  QStringList ids;
  for (const QString& id : out.mid(hash + 1).split(',', Qt::SkipEmptyParts)) ids << id.trimmed();
  return ids;
}

QString Hex(const QWidget* W) { return "0x" + QString::number(W->winId(), 16); }

QString AllowedActions(const QWidget* W) { return XProp({"-id", Hex(W), "_NET_WM_ALLOWED_ACTIONS"}); }

// The functions a window asks the window manager for (Motif hints); all when it states none.
constexpr uint kMinimise = 0x8, kMaximise = 0x10, kClose = 0x20;
uint AskedFunctions(const QWidget* W) {
  const QStringList hints = XProp({"-id", Hex(W), "_MOTIF_WM_HINTS"}).section('=', 1).split(',');
  if (hints.size() < 2 || !(hints[0].trimmed().toUInt(nullptr, 16) & 1u)) return ~0u;
  return hints[1].trimmed().toUInt(nullptr, 16);
}

// A busy machine may take its time: every wait on the window manager is this long.
constexpr int kPatience = 30000;

// The frame is known once the window manager has reparented the window.
bool WaitFramed(QWidget* W) {
  return QTest::qWaitForWindowExposed(W, kPatience) &&
         QTest::qWaitFor([W] { return W->frameGeometry() != W->geometry(); }, kPatience);
}

// Framed, no stored place still on its way, and the frame the same at two looks in a row.
bool WaitSettled(QWidget* W) {
  QRect last;
  return WaitFramed(W) && QTest::qWaitFor(
                              [W, &last] {
                                const QRect now = W->frameGeometry();
                                const bool same = now == last;
                                last = now;
                                return same && !W->property("morvoPendingFrameRestore").isValid();
                              },
                              kPatience);
}

std::string StoredPlace(const char* Name) {
  TRegistry reg;
  return reg.OpenKey(kDlgPosKey, false) && reg.ValueExists(Name) ? reg.ReadBinaryData(Name) : "<none>";
}

}  // namespace

class TestDesktopWm : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Where the tools are meant to be installed, their absence is a failure, not a pass.
    if (!gMissing.isEmpty() && testsupport::InCi()) QFAIL(qPrintable("not installed:" + gMissing));
    if (!gMissing.isEmpty()) QSKIP(qPrintable("not installed:" + gMissing + " (tools/install-deps.sh)"));
    QVERIFY2(gReady, qPrintable(gProblem));
    SetExecutableFolderOverride(testsupport::BinDir() + "/");
    // Sizes are restored only below 100 dots per inch; the X server's own figure may differ.
    SetDlgPosScreenOverride(QGuiApplication::primaryScreen()->geometry().size(), 96);
  }

  void init() {
    TRegistry reg;
    reg.DeleteKey(kDlgPosKey);
  }

  void mainWindowKeepsItsFrameOverStarts() {
    QRect first;
    for (int start = 0; start < 3; ++start) {
      auto* w = new TFrmMorvoReader();
      w->show();
      QVERIFY(WaitSettled(w));
      if (start == 0)
        first = w->frameGeometry();
      else
        QTRY_COMPARE_WITH_TIMEOUT(w->frameGeometry(), first, kPatience);
      delete w;  // stores the position
    }
  }

  // Windows a session never showed keep the places the user left them at.
  void windowsNotShownKeepTheirStoredPlaces() {
    const char* const names[] = {"FrmFind", "FrmConfig", "FrmAbout", "FrmPackager"};
    for (const char* name : names) testsupport::StoreDlgPos(name, testsupport::DlgPosRecord(999, 580, 420, 200));
    CreateAllForms();
    FrmMorvoReader->show();
    QVERIFY(WaitSettled(FrmMorvoReader));
    FreeAllForms();
    for (const char* name : names) QCOMPARE(StoredPlace(name), testsupport::DlgPosRecord(999, 580, 420, 200));
    QVERIFY(StoredPlace("FrmMorvoReader") != "<none>");
  }

  // A second place given before the window manager answered the first wins.
  void theLastOfTwoPendingPlacesWins() {
    testsupport::StoreDlgPos("First", testsupport::DlgPosRecord(120, 110, 600, 400));
    testsupport::StoreDlgPos("Second", testsupport::DlgPosRecord(340, 260, 500, 300));
    QWidget w;
    LoadDlgPos(&w, "First");
    LoadDlgPos(&w, "Second");
    w.show();
    QVERIFY(WaitSettled(&w));
    QCOMPARE(w.frameGeometry(), QRect(340, 260, 500, 300));
  }

  // A desktop whose window manager comes late (or restarts) frames a window already on the screen.
  void framedOnlyAfterExposedTheOuterFrameLandsOnThePlace() {
    testsupport::StoreDlgPos("Late", testsupport::DlgPosRecord(340, 260, 500, 300));
    StopWindowManager();
    const auto restart = qScopeGuard([] {
      if (gWindowManager == 0) StartWindowManager();
    });
    QWidget w;
    LoadDlgPos(&w, "Late");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w, kPatience));
    QCOMPARE(w.frameGeometry(), w.geometry());
    QVERIFY(StartWindowManager());
    QVERIFY(WaitSettled(&w));
    QTRY_COMPARE_WITH_TIMEOUT(w.frameGeometry(), QRect(340, 260, 500, 300), kPatience);
  }

  // A window manager that quits while a window is hidden takes its frame along: the window shown
  // again keeps the stored outer size as it is, not less the frame it had before.
  void reshownWithoutWindowManagerKeepsTheStoredSize() {
    testsupport::StoreDlgPos("Gone", testsupport::DlgPosRecord(340, 260, 500, 300));
    QWidget w;
    w.show();
    QVERIFY(WaitSettled(&w));
    w.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!w.windowHandle()->isExposed(), kPatience);
    StopWindowManager();
    const auto restart = qScopeGuard([] {
      if (gWindowManager == 0) StartWindowManager();
    });
    LoadDlgPos(&w, "Gone");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w, kPatience));
    QCOMPARE(w.frameGeometry().size(), QSize(500, 300));
    // The next window manager is up once it has taken this window in.
    QVERIFY(StartWindowManager());
    QTRY_VERIFY_WITH_TIMEOUT(RootList("_NET_CLIENT_LIST").contains(Hex(&w)), kPatience);
  }

  void storedPositionIsTheOuterFrame() {
    testsupport::StoreDlgPos("FrmMorvoReader", testsupport::DlgPosRecord(300, 200, 700, 500));
    testsupport::StoreDlgPos("FrmFind", testsupport::DlgPosRecord(250, 150, 640, 160));
    TFrmMorvoReader main;
    main.show();
    QVERIFY(WaitFramed(&main));
    QTRY_COMPARE_WITH_TIMEOUT(main.frameGeometry(), QRect(300, 200, 700, 500), kPatience);
    TFrmFind find(&main);
    find.ShowFind();
    QVERIFY(WaitFramed(&find));
    QTRY_COMPARE_WITH_TIMEOUT(find.frameGeometry(), QRect(250, 150, 640, 160), kPatience);
  }

  void findWindowStaysAboveAndTakesTheFocus() {
    CreateAllForms();
    TFrmMorvoReader& main = *FrmMorvoReader;
    TFrmFind* find = FrmFind;
    main.show();
    QVERIFY(WaitFramed(&main));
    main.MnuFindbyNameClick();
    QVERIFY(QTest::qWaitForWindowActive(find, kPatience));
    QTRY_VERIFY_WITH_TIMEOUT(find->cbFindStr->hasFocus(), kPatience);
    // The main window's find shortcuts answer from the find window too.
    QSignalSpy again(main.findChild<QAction*>("ActFndAgain"), &QAction::triggered);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
    QCOMPARE(again.size(), 1);
    // The user turns to the main window: the find window stays in sight above it.
    main.raise();
    main.activateWindow();
    // The window manager's answer to the raise; the stacking below is what counts.
    static_cast<void>(
        QTest::qWaitFor([&main] { return RootList("_NET_ACTIVE_WINDOW").value(0) == Hex(&main); }, kPatience));
    const QStringList stacking = RootList("_NET_CLIENT_LIST_STACKING");
    QVERIFY2(stacking.indexOf(Hex(find)) > stacking.indexOf(Hex(&main)), qPrintable(stacking.join(' ')));
    FreeAllForms();
  }

  // A cell editor ends its line on Ctrl+E on this desktop; the menu's Ctrl+E
  // still exports, and letters stay the editor's.
  void menuShortcutsWinOverACellEditor() {
    TFrmMorvoReader main;
    QVERIFY(main.OpenObjectFile(QString::fromStdString(testsupport::TestDataDir() + "/mainwindow/tree.dcl")));
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main, kPatience));
    auto* grid = main.findChild<QTableWidget*>("PropertyGrid");
    grid->editItem(grid->item(1, 1));
    QSignalSpy exported(main.findChild<QAction*>("ActExport1"), &QAction::triggered);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "xy");
    QCOMPARE(exported.count(), 1);
    QVERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget())->text().endsWith("xy"));
  }

  void waitWindowHasNoBorderIcons() {
    TFrmWait wait;
    wait.ShowWait();
    QVERIFY(WaitFramed(&wait));
    QTRY_VERIFY_WITH_TIMEOUT(AllowedActions(&wait).contains("_NET_WM_ACTION_MOVE"), kPatience);
    // openbox never takes the close function away; what the window asks for is tested beside it.
    const QString waitActions = AllowedActions(&wait);
    for (const char* action : {"MAXIMIZE_HORZ", "RESIZE"})
      QVERIFY2(!waitActions.contains(QString("_NET_WM_ACTION_") + action), qPrintable(waitActions));
    QCOMPARE(AskedFunctions(&wait) & (kMinimise | kMaximise | kClose), 0u);
    wait.close();
  }
};

int main(int argc, char** argv) {
  // The test runner asks for the off-screen platform; this test needs its own desktop.
  gReady = StartDesktop();
  int rc = 1;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Morvo Object Reader");
    dialogs::SetNonInteractive(true);
    TestDesktopWm test;
    rc = QTest::qExec(&test, argc, argv);
  }
  Stop(gWindowManager);
  Stop(gServer);
  return rc;
}

#include "tst_desktop_wm.moc"
