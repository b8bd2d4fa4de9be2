// The command-line export "/e": the built program, run headless, writes the
// default export beside the object file and ends without showing a window.
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "Accessors.h"
#include "AppPaths.h"
#include "DlgPos.h"
#include "MorvoObjRead.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "RecentFiles.h"
#include "Registry.h"
#include "StringUtil.h"
#include "TestSupport.h"
#include "UnattendedCommands.h"
#include "WholeFile.h"
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
  // QTemporaryDir leaves names that are not UTF-8 behind.
  ~TProgramFolder() { fs::remove_all(Dir.path().toStdString()); }
  // Runs the program; false when it did not end by itself.
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  bool SmallAddressSpace = false;  // a process that runs out of memory on a large file
  bool Run(const QStringList& Args, int* ExitCode = nullptr, QByteArray* ErrorOutput = nullptr,
           QByteArray* Output = nullptr, int Ms = 60000) {
    QProcess p;
    QProcessEnvironment env = Env;
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("XDG_RUNTIME_DIR");  // as in a script started without a session
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(Work));
    if (SmallAddressSpace)
      p.setChildProcessModifier([] {
        const rlimit limit{1536ul << 20, 1536ul << 20};
        ::setrlimit(RLIMIT_AS, &limit);
      });
    testsupport::StartWithNameBytes(p, Bin + "morvo-reader", Args);
    if (!p.waitForFinished(Ms)) {
      p.kill();
      p.waitForFinished();
      return false;
    }
    if (ExitCode) *ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (ErrorOutput) *ErrorOutput = p.readAllStandardError();
    if (Output) *Output = p.readAllStandardOutput();
    return true;
  }
  std::vector<std::string> WorkFiles(const std::string& Folder = {}) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder.empty() ? Work : Folder))
      names.push_back(e.path().filename().string());
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

// A small file system of its own, mounted only where the test may (as root,
// as CI runs it) and unmounted when the test ends.
struct TSmallDisk {
  std::string Path;
  bool Mounted = false;
  explicit TSmallDisk(const std::string& Where) : Path(Where) {
    fs::create_directories(Where);
    Mounted = ::geteuid() == 0 && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs",
                                                              QString::fromStdString(Where)}) == 0;
  }
  ~TSmallDisk() {
    if (Mounted) QProcess::execute("umount", {"-l", QString::fromStdString(Path)});
  }
};
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
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QByteArray>("name");  // of the object file, without extension
    QTest::newRow("/e") << "/e" << false << QByteArray("sample");
    QTest::newRow("/E as the file manager passes it") << "/E" << false << QByteArray("sample");
    QTest::newRow("a name relative to the working folder") << "/e" << true << QByteArray("sample");
    QTest::newRow("a name that is no UTF-8") << "/e" << true << QByteArray("caf\xE9");
    QTest::newRow("a name with quotes") << "/e" << false
                                        << QByteArray(
                                               "Facture \"n\xC2\xB0"
                                               "1\" l'\xC3\xA9t\xC3\xA9");
  }
  void theSwitchWritesTheDefaultExportBesideTheFile() {
    QFETCH(QString, sw);
    QFETCH(bool, relative);
    QFETCH(QByteArray, name);
    TProgramFolder program;
    TRegistry().DeleteKey(kDlgPosKey);
    if (name != "sample") fs::rename(program.Work + "sample.obj", program.Work + name.toStdString() + ".obj");
    const std::string file = (relative ? "" : program.Work) + name.toStdString() + ".obj";
    int exitCode = -1;
    QByteArray errors;
    // Ending by itself shows that the message loop never waited on a window.
    QVERIFY(program.Run({sw, NameFromNative(file)}, &exitCode, &errors));
    QCOMPARE(exitCode, 0);
    QVERIFY2(errors.isEmpty(), errors.constData());
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(program.Work + name.toStdString() + ".tst")),
             QByteArray::fromStdString(ReplaceAll(Expected(), "sample.obj", name.toStdString() + ".obj")));
    QCOMPARE(TRecentFiles().Items().value(0), NameFromNative(program.Work + name.toStdString() + ".obj"));
    // The process ends without freeing its objects, after its settings are kept.
    TRegistry positions;
    QVERIFY(positions.OpenKey(kDlgPosKey, false) && positions.ValueExists("FrmWait"));
  }

  void aFullDiskKeepsTheOldExportAndIsReported_data() {
    // Exports larger than the room, but small enough to sit in a write buffer until the file is closed.
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("blocks");
    QTest::newRow("no room at all") << 0 << 0;
    QTest::newRow("room for a part") << 8192 << 6;
  }
  void aFullDiskKeepsTheOldExportAndIsReported() {
    QFETCH(int, room);
    QFETCH(int, blocks);
    TProgramFolder program;
    TSmallDisk disk(program.Work + "disk");
    if (!disk.Mounted) {
      if (testsupport::InCi()) QFAIL("mounting a small file system needs root and mount");
      QSKIP("mounting a small file system needs root; the full-disk export is not tried");
    }
    const std::string dir = disk.Path + "/";
    fs::copy_file(program.Work + "sample.obj", dir + "sample.obj");
    std::string cfg = ReadFileBytes(program.Bin + "MorvoObject.cfg");
    for (int i = 1; i <= blocks; ++i) cfg += "PreBody" + std::to_string(i) + "=" + std::string(2000, 'p') + "\r\n";
    QVERIFY(testsupport::WriteFileBytes(program.Bin + "MorvoObject.cfg", cfg));
    const std::string old = "the export of yesterday\r\n";
    QVERIFY(testsupport::WriteFileBytes(dir + "sample.tst", old));
    // Full up (the filler's write fails when the disk is), but for the room.
    testsupport::WriteFileBytes(dir + "spare", std::string(static_cast<size_t>(room), 's'));
    testsupport::WriteFileBytes(dir + "filler", std::string(64 << 10, 'f'));
    fs::remove(dir + "spare");
    int exitCode = -1;
    QByteArray errors;
    QVERIFY(program.Run({"/e", QString::fromStdString(dir + "sample.obj")}, &exitCode, &errors));
    QCOMPARE(exitCode, 1);
    QVERIFY2(errors.contains("Cannot write file") && errors.contains("sample.tst"), errors.constData());
    QCOMPARE(ReadFileBytes(dir + "sample.tst"), old);
    QCOMPARE(program.WorkFiles(dir), (std::vector<std::string>{"filler", "sample.obj", "sample.tst"}));
  }

  void anEarlierExportIsReplaced() {
    TProgramFolder program;
    QVERIFY(testsupport::WriteFileBytes(program.Work + "sample.tst",
                                        "earlier export, longer than the new one" + std::string(1000, 'x')));
    QVERIFY(program.Run({"/e", QString::fromStdString(program.Work + "sample.obj")}));
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(program.Work + "sample.tst")),
             QByteArray::fromStdString(Expected()));
  }

  // What stands at the export's name: every writer of whole files treats it
  // alike. A link is followed unless the kernel would refuse to (another
  // user's link in a sticky folder anyone may write to); anything but a
  // writable regular file stays as it was. A killed writer's temporary in
  // that folder goes, however young and whatever it was for; a living
  // writer's stays.
  void theExportsNameIsWrittenByTheWritersRules_data() {
    QTest::addColumn<QString>("plant");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("a 250-byte name") << "long" << QByteArray();
    QTest::newRow("the user's own link") << "own link" << QByteArray();
    QTest::newRow("another user's link in a sticky folder") << "sticky link" << QByteArray("Permission denied");
    QTest::newRow("a pipe") << "pipe" << QByteArray("Not a regular file");
    QTest::newRow("a read-only file, for root too") << "read-only" << QByteArray("Permission denied");
    QTest::newRow("temporaries of a killed and of a living writer") << "leftovers" << QByteArray();
  }
  void theExportsNameIsWrittenByTheWritersRules() {
    QFETCH(QString, plant);
    QFETCH(QByteArray, reason);
    TProgramFolder program;
    std::string dir = program.Work;
    std::string stem = "sample";
    const std::string outside = program.Work + "important.conf";
    QVERIFY(testsupport::WriteFileBytes(outside, "keep me\n"));
    std::vector<std::string> leftovers;
    TWholeFileWriter living;
    if (plant == "long") {
      stem = std::string(246, 'n');
      fs::rename(dir + "sample.obj", dir + stem + ".obj");
    } else if (plant == "own link") {
      fs::create_symlink(outside, dir + "sample.tst");
    } else if (plant == "sticky link") {
      const passwd* nobody = ::getpwnam("nobody");
      if (::geteuid() != 0 || !nobody) {
        if (testsupport::InCi()) QFAIL("planting another user's link needs root and the user nobody");
        QSKIP("planting another user's link needs root and the user nobody");
      }
      dir += "shared/";
      fs::create_directories(dir);
      QCOMPARE(::chmod(dir.c_str(), 01777), 0);
      fs::copy_file(program.Work + "sample.obj", dir + "sample.obj");
      fs::create_symlink(outside, dir + "sample.tst");
      QCOMPARE(::lchown((dir + "sample.tst").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    } else if (plant == "pipe") {
      QCOMPARE(::mkfifo((dir + "sample.tst").c_str(), 0600), 0);
    } else if (plant == "read-only") {
      QVERIFY(testsupport::WriteFileBytes(dir + "sample.tst", "old\n"));
      QCOMPARE(::chmod((dir + "sample.tst").c_str(), 0444), 0);
    } else if (plant == "leftovers") {
      // A writer that dies with its temporary open, then this process's own.
      for (const bool killed : {true, false}) {
        const auto before = program.WorkFiles();
        if (killed) {
          const pid_t child = fork();
          QVERIFY(child >= 0);
          if (child == 0) {  // a library's own file, made under the temporary's name, goes with it
            TWholeFileTemporary temporary;
            _exit(temporary.Open(dir + "notes.zip") && testsupport::WriteFileBytes(temporary.Path() + ".k2x9q7", "PK")
                      ? 0
                      : 1);
          }
          QCOMPARE(waitpid(child, nullptr, 0), child);
        } else {
          QVERIFY(living.Open(dir + "sample.tst") && living.Write("an export on its way"));
        }
        for (const std::string& name : program.WorkFiles())
          if (std::find(before.begin(), before.end(), name) == before.end()) leftovers.push_back(name);
        QCOMPARE(leftovers.size(), size_t(killed ? 2 : 3));
      }
    }
    const std::string target = dir + stem + ".tst";
    const std::string old = plant == "read-only" ? ReadFileBytes(target) : std::string();
    int exitCode = -1;
    QByteArray errors;
    QVERIFY(program.Run({"/e", QString::fromStdString(dir + stem + ".obj")}, &exitCode, &errors));
    if (!reason.isEmpty()) {
      QCOMPARE(exitCode, 1);
      QVERIFY2(errors.contains("Cannot write file \"" + QByteArray::fromStdString(target) + "\". " + reason),
               errors.constData());
      QCOMPARE(ReadFileBytes(outside), std::string("keep me\n"));
      struct stat st {};
      QCOMPARE(::lstat(target.c_str(), &st), 0);
      if (plant == "read-only") {
        QCOMPARE(ReadFileBytes(target), old);
        QCOMPARE(st.st_mode & 07777, mode_t(0444));
      } else {
        QVERIFY(plant == "pipe" ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
      }
      QCOMPARE(program.WorkFiles(dir).size(), size_t(plant == "sticky link" ? 2 : 3));  // nothing left beside it
      return;
    }
    QCOMPARE(exitCode, 0);
    QVERIFY2(errors.isEmpty(), errors.constData());
    // The export names its file once.
    QCOMPARE(ReadFileBytes(plant == "own link" ? outside : target).size(), Expected().size() + stem.size() - 6);
    if (plant == "own link") QVERIFY(fs::is_symlink(target));
    if (plant == "leftovers") {
      std::vector<std::string> left;  // the living writer's alone
      for (const std::string& name : program.WorkFiles())
        if (std::count(leftovers.begin(), leftovers.end(), name)) left.push_back(name);
      QCOMPARE(left, std::vector<std::string>{leftovers[2]});
    }
  }

  // Each ends within seconds with status 1 and its reason as the one line on stderr, writing nothing and
  // leaving older archives alone (a pipe never blocks, a device is never read); "view ..." rows export.
  void nothingIsWrittenWhenACommandCannotGoOn_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QString>("target");              // in the program's folder, or "config/" for the desktop's
    QTest::addColumn<QByteArray>("content");          // "<missing>", "<pipe>", "<zero>", "<list>" or "" to keep it
    QTest::addColumn<QList<QByteArray>>("cfgEdits");  // "replaced|replacement|..."
    const auto row = [](const QByteArray& name, const char* args, const QByteArray& reason, const char* target = "",
                        const char* content = "", const char* edits = "") {
      QTest::newRow(name) << QString(args).split(' ') << reason << target << QByteArray(content)
                          << QByteArray(edits).split('|');
    };
    row("no file argument", "/e", "No object file was given");
    row("a file that does not exist", "/e missing.obj", "No such file");
    row("a file that is no object file", "/e notes.txt", "is no object file");
    row("a folder", "/e folder.obj", "Is a directory");
    row("a block without its closing line", "/e broken.obj",
        "/broken.obj\": List index out of bounds (21): the block that begins on line 20 has no closing \"}\".");
    row("a pipe", "/e pipe.obj", "Not a regular file");
    row("a device", "/e /dev/zero", "Not a regular file");
    row("/p, no file argument", "/p", "No object file was given");
    row("/p, a file that does not exist", "/p missing.obj", "No such file");
    row("/p, a folder", "/p folder.obj", "Is a directory");
    row("/p, a pipe", "/p pipe.obj", "Not a regular file");
    row("/p, a device", "/p zero.obj", "Not a regular file");
    row("/p, a dangling link", "/p dangling.obj", "No such file");
    row("/p, a name no archive may hold", "/p back\\slash.obj", "Nothing was packaged");
    row("a file larger than the memory", "/e huge.obj", "Not enough memory to read");
    row("/p, a file larger than the memory", "/p huge.obj", "Not enough memory to read");
    const char* sample = "/e sample.obj";
    row("/p, no property table", "/p sample.obj", "ObjectProperties.txt\". No such", "ObjectProperties.txt",
        "<missing>");
    for (const char* kind : {"<pipe>", "<zero>"}) {
      for (const char* table : {"ObjectProperties.txt", "ObjectTypNum.txt"})
        row(table + QByteArray(kind), sample, table + QByteArray("\". Not a regular file"), table, kind);
      row("XMLCodes.txt" + QByteArray(kind), sample, "XMLCodes.txt\". Not a regular file", "XMLCodes.txt", kind,
          "TranslateXMLStyle=no|TranslateXMLStyle=yes");
      if (kind == std::string("<pipe>"))
        row("XMLCodes.txt<missing>", sample, "XMLCodes.txt\". No such file", "XMLCodes.txt", "<missing>",
            "TranslateXMLStyle=no|TranslateXMLStyle=yes");
      row("mimeapps.list" + QByteArray(kind), sample, "view All", "config/mimeapps.list", kind);
    }
    row("mimeapps.list, never opened", sample, "view All", "config/mimeapps.list", "<list>");
    row("no configuration", sample, "No export is defined", "MorvoObject.cfg", "<missing>");
    row("no export", sample, "No export is defined", "", "", "OutPuts=tst|OutPuts=");
    row("Fields no id list", sample, "/bin/MorvoObject.cfg\", section [All], key Fields.", "", "",
        "Fields=2,3,4,5|Fields=20;338");
    row("MandatoryFields no id list", sample, "'338 ' is not a valid integer value in \"", "", "",
        "Fields=2|MandatoryFields=338 ,339\r\nFields=2");
    row("a view named in windows-1252", sample,
        "view Gr\xC3\xB6\xC3\x9F\x65\r\n\r\nlevel 1(\r\nobject Alpha type Form image 3\r\nname", "", "",
        "Views=All|Views=Gr\xF6\xDF\x65,All|[All]|[Gr\xF6\xDF\x65]\r\nFields=2,3\r\n[All]");
  }
  void nothingIsWrittenWhenACommandCannotGoOn() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, reason);
    QFETCH(QString, target);
    QFETCH(QByteArray, content);
    QFETCH(QList<QByteArray>, cfgEdits);
    TProgramFolder program;
    QVERIFY(testsupport::WriteFileBytes(program.Work + "notes.txt", "just some text\r\nno marker\r\n"));
    fs::create_directories(program.Work + "folder.obj");
    QCOMPARE(::mkfifo((program.Work + "pipe.obj").c_str(), 0600), 0);
    fs::create_symlink(program.Work + "gone.obj", program.Work + "dangling.obj");
    fs::create_symlink("/dev/zero", program.Work + "zero.obj");
    fs::copy_file(program.Work + "sample.obj", program.Work + "back\\slash.obj");
    const std::string sampleBytes = ReadFileBytes(program.Work + "sample.obj");
    QVERIFY(testsupport::WriteFileBytes(program.Work + "broken.obj", sampleBytes.substr(0, sampleBytes.size() - 3)));
    QVERIFY(testsupport::WriteFileBytes(program.Work + "huge.obj", ""));
    fs::resize_file(program.Work + "huge.obj", 3ull << 30);  // sparse: no disk taken
    program.SmallAddressSpace = args.join(' ').contains("huge.obj");
    if (program.SmallAddressSpace && testsupport::UnderAddressSanitizer())
      QSKIP(testsupport::kNoSmallAddressSpaceUnderAsan);
    for (const char* name : {"missing", "folder", "pipe", "dangling", "", "zero", "sample"})
      for (const char* type : {".cab", ".zip"})
        QVERIFY(testsupport::WriteFileBytes(program.Work + name + type, std::string("older ") + name + type));
    QByteArray cfg = QByteArray::fromStdString(ReadFileBytes(program.Bin + "MorvoObject.cfg"));
    for (qsizetype i = 0; i + 1 < cfgEdits.size(); i += 2) cfg.replace(cfgEdits[i], cfgEdits[i + 1]);
    QVERIFY(testsupport::WriteFileBytes(program.Bin + "MorvoObject.cfg", cfg.toStdString()));
    const std::string path = target.startsWith("config/")
                                 ? qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + target.mid(6).toStdString()
                                 : program.Bin + target.toStdString();
    if (!content.isEmpty()) fs::remove(path);
    if (content == "<pipe>") QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    if (content == "<zero>") fs::create_symlink("/dev/zero", path);
    // Nothing that only a window's link needs is read by a command without windows.
    const int watch = ::inotify_init1(IN_NONBLOCK);
    if (content == "<list>") {
      QVERIFY(testsupport::WriteFileBytes(path, "[Default Applications]\ntext/html=web.desktop;\n"));
      QVERIFY(::inotify_add_watch(watch, path.c_str(), IN_OPEN) >= 0);
    }
    const std::vector<std::string> before = program.WorkFiles();
    int exitCode = -1;
    QByteArray errors;
    const bool ended = program.Run(args, &exitCode, &errors, nullptr, 10000);
    char event[4096];
    const bool opened = ::read(watch, event, sizeof event) > 0;
    ::close(watch);
    if (target.startsWith("config/")) fs::remove(path);
    QVERIFY(ended && !opened);
    QCOMPARE(exitCode, reason.startsWith("view ") ? 0 : 1);
    if (exitCode == 0)
      QVERIFY(ReadFileBytes(program.Work + "sample.tst").find(reason.toStdString()) != std::string::npos);
    QVERIFY2(exitCode == 0 || (errors.contains(reason) && errors.count('\n') == 1), errors.constData());
    // Every "/e" failure names the program first (the export's own, as its box, the window's caption)
    // and ends the same way.
    if (exitCode == 1 && args[0] == "/e") {
      const QByteArray caption =
          reason.contains("XMLCodes.txt") ? "sample.obj - Morvo Object Reader" : "Morvo Object Reader";
      QVERIFY2(errors.startsWith(caption + ": ") && errors.endsWith(". Nothing was exported.\n"), errors.constData());
    }
    QVERIFY(exitCode == 0 || program.WorkFiles() == before);
    for (const std::string& name : before)
      if (name.ends_with(".cab") || name.ends_with(".zip"))
        QCOMPARE(ReadFileBytes(program.Work + name), "older " + name);
  }

  // The export is written all the same; the lost recent files are told.
  void aSettingsStoreThatCannotBeWrittenIsTold() {
    TProgramFolder program;
    QVERIFY(testsupport::WriteFileBytes(program.Work + "not-a-folder", "x"));
    program.Env.insert("XDG_CONFIG_HOME", QString::fromStdString(program.Work + "not-a-folder"));
    int exitCode = -1;
    QByteArray errors;
    QVERIFY(program.Run({"/e", "sample.obj"}, &exitCode, &errors));
    QCOMPARE(exitCode, 0);
    QVERIFY(fs::exists(program.Work + "sample.tst"));
    QVERIFY2(errors.contains("settings cannot be saved") && errors.count('\n') == 1, errors.constData());
  }

  // No window lays out a name of 100 MB: under a memory limit the run ends
  // by itself, its file written or its failure told, and prints no notices.
  void aHugeObjectNameUnderAMemoryLimit() {
    if (testsupport::UnderAddressSanitizer()) QSKIP(testsupport::kNoSmallAddressSpaceUnderAsan);
    TProgramFolder program;
    std::string name;
    while (name.size() < (100u << 20)) name += "Ab cd \xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 ";
    QVERIFY(testsupport::WriteFileBytes(
        program.Work + "big.obj",
        "a\r\nb\r\n!!EndOfControl\r\nOBJECT TYPE=\"FORMTYPE\" NAME=\"" + name + "\"\r\n}\r\n"));
    program.SmallAddressSpace = true;
    for (const char* sw : {"/e", "/p"}) {
      int exitCode = -1;
      QByteArray errors;
      QVERIFY(program.Run({sw, "big.obj"}, &exitCode, &errors));
      QVERIFY2(exitCode == 0 ? errors.isEmpty() : exitCode == 1 && errors.count('\n') == 1, errors.constData());
    }
  }

  void aHeadlessPackagingPrintsItsResult() {
    TProgramFolder program;  // "Show results" is on unless stored off
    int exitCode = -1;
    QByteArray errors, output;
    QVERIFY(program.Run({"/p", QString::fromStdString(program.Work + "sample.obj")}, &exitCode, &errors, &output));
    QCOMPARE(exitCode, 0);
    QVERIFY2(errors.isEmpty(), errors.constData());
    QVERIFY2(output.startsWith("These files were added/replaced in the package :\nsample.obj\n"), output.constData());
  }

  void aFileThatIsNoObjectFileGoesToTheEditorAndIsNotExported() {
    TProgramFolder program;
    const std::string marker = program.Work + "editor-was-given";
    const std::string editor = program.Bin + "editor.sh";
    QVERIFY(testsupport::WriteFileBytes(editor, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + marker + ".part\" && mv \"" +
                                                    marker + ".part\" \"" + marker + "\"\n"));
    fs::permissions(editor, fs::perms::owner_all);
    // The editor is given the name's own bytes.
    QVERIFY(testsupport::WriteFileBytes(program.Work + "not\xE9s.txt", "just some text\r\nno marker\r\n"));
    WriteRegString("OpenNonQSFiles", "-1");
    WriteRegString("ExternalEditor", editor);
    int exitCode = -1;
    const bool ended = program.Run({"/e", NameFromNative(program.Work + "not\xE9s.txt")}, &exitCode);
    WriteRegString("OpenNonQSFiles", "0");
    WriteRegString("ExternalEditor", "");
    QVERIFY(ended);
    QCOMPARE(exitCode, 1);
    // The editor runs on its own, unwaited for.
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(marker), 10000);
    QCOMPARE(ReadFileBytes(marker), program.Work + "not\xE9s.txt");
    QCOMPARE(program.WorkFiles(), (std::vector<std::string>{"editor-was-given", "not\xE9s.txt", "sample.obj"}));
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
    QCOMPARE(exitCode, 1);
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
