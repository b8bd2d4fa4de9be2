#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "MorvoError.h"
#include "Registry.h"
#include "TestSupport.h"
#include "WholeFile.h"

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {
const char* const kKey = "software\\Kelbrun\\ZIB";

std::string StoreFile() { return TRegistry::StoreFileName(TRegRoot::CurrentUser); }

std::string ReadOne(const std::string& name, const std::string& key = kKey) {
  TRegistry reg;
  if (!reg.OpenKey(key, false)) return "<no key>";
  return reg.ReadString(name);
}

void WriteOne(const std::string& name, const std::string& value, const std::string& key = kKey) {
  TRegistry reg;
  QVERIFY(reg.OpenKey(key, true));
  reg.WriteString(name, value);
}

QStringList Temporaries() {
  return QDir(QString::fromStdString(TRegistry::StoreFolder()))
      .entryList({QStringLiteral(".wf-*")}, QDir::Files | QDir::Hidden);
}

QStringList DamagedCopies() {
  return QDir(QString::fromStdString(TRegistry::StoreFolder()))
      .entryList({QStringLiteral("HKEY_CURRENT_USER.reg.damaged-*")}, QDir::Files);
}

// Swaps in failing system calls for one test and puts the real ones back.
struct TFailingCalls {
  TFileOps Saved = FileOps();
  ~TFailingCalls() { FileOps() = Saved; }
};
int FailEio() {
  errno = EIO;
  return -1;
}

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}
}  // namespace

class TestPlatformRegistry : public QObject {
  Q_OBJECT

  QTemporaryDir FConfig;

 private slots:
  // Every test starts from an empty store of its own.
  void init() {
    const QString dir = FConfig.path() + "/" + QTest::currentTestFunction();
    qputenv("XDG_CONFIG_HOME", dir.toUtf8());
    QDir(dir).removeRecursively();
  }

  void storeLivesUnderTheConfigFolder() {
    QCOMPARE(TRegistry::StoreFolder(), qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Kelbrun/ZIB/");
    QCOMPARE(TRegistry::StoreFileName(TRegRoot::ClassesRoot), TRegistry::StoreFolder() + "HKEY_CLASSES_ROOT.reg");
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(TRegistry::StoreFolder(), qEnvironmentVariable("HOME").toStdString() + "/.config/Kelbrun/ZIB/");
  }

  void valuesSurviveARestartByteForByte() {
    const std::string tricky = std::string("tab\tnl\ncr\rnul") + '\0' + "end \"q\" back\\slash \\x41 " +
                               "\xC3\xA4\xE2\x82\xAC \xC2\x85 \xFF\xFE lone\xE2\x82";
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kKey, true));
      reg.WriteString("Plain", "C:\\Program Files\\x");
      reg.WriteString("Tricky", tricky);
      reg.WriteString("", "the default");
      reg.WriteBinaryData("Blob", AllBytes());
      reg.WriteBinaryData("Empty", "");
      reg.WriteString("Quote\"d\\name\x01", "n");
    }
    TRegistry reg;
    QVERIFY(reg.OpenKey(kKey, false));
    QCOMPARE(reg.ReadString("Plain"), std::string("C:\\Program Files\\x"));
    QCOMPARE(reg.ReadString("Tricky"), tricky);
    QCOMPARE(reg.ReadString(""), std::string("the default"));
    QCOMPARE(reg.ReadBinaryData("Blob"), AllBytes());
    QVERIFY(reg.ValueExists("Empty"));
    QCOMPARE(reg.GetDataType("Empty"), TRegDataType::Binary);
    QCOMPARE(reg.ReadString("Quote\"d\\name\x01"), std::string("n"));
    QCOMPARE(reg.GetDataType("Plain"), TRegDataType::String);
    QCOMPARE(reg.GetDataType("Absent"), TRegDataType::Unknown);
    QCOMPARE(reg.ReadString("Absent"), std::string());

    // A person can read and edit it: one line per value, in the editor's format.
    const std::string text = ReadFileBytes(StoreFile());
    QVERIFY(text.rfind("Windows Registry Editor Version 5.00\n", 0) == 0);
    QVERIFY(text.find("\n[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\n") != std::string::npos);
    QVERIFY(text.find("\n\"Plain\"=\"C:\\\\Program Files\\\\x\"\n") != std::string::npos);
    QVERIFY(text.find("\n@=\"the default\"\n") != std::string::npos);
    QVERIFY(text.find("\n\"Blob\"=hex:00,01,02,") != std::string::npos);
  }

  void keysAndNamesIgnoreCaseButKeepTheirCase() {
    WriteOne("Name", "1", "Software\\Kelbrun\\ZIB\\\xC3\x84rger");
    TRegistry reg;
    QVERIFY(reg.OpenKey("SOFTWARE\\kelbrun\\zib\\\xC3\xA4RGER", false));
    QCOMPARE(reg.ReadString("NAME"), std::string("1"));
    reg.WriteString("nAmE", "2");
    QCOMPARE(reg.GetValueNames(), std::vector<std::string>{"Name"});
    QCOMPARE(ReadOne("name", "software\\KELBRUN\\Zib\\\xC3\x84rger"), std::string("2"));

    // A subkey created through a differently cased parent path joins the
    // existing parent instead of making a second one.
    WriteOne("x", "y", "SOFTWARE\\KELBRUN\\zib\\MRU");
    TRegistry parent;
    QVERIFY(parent.OpenKey("\\software\\kelbrun\\", false));
    QCOMPARE(parent.GetKeyNames(), (std::vector<std::string>{"ZIB"}));
    QVERIFY(parent.OpenKey(kKey, false));
    QCOMPARE(parent.GetKeyNames(), (std::vector<std::string>{"MRU", "\xC3\x84rger"}));
    const std::string text = ReadFileBytes(StoreFile());
    QVERIFY(text.find("[HKEY_CURRENT_USER\\Software\\Kelbrun\\ZIB\\MRU]") != std::string::npos);
    QVERIFY(text.find("[HKEY_CURRENT_USER\\SOFTWARE") == std::string::npos);
  }

  void openingCreatesOnlyWhenAsked() {
    TRegistry reg;
    QVERIFY(!reg.OpenKey(kKey, false));
    QVERIFY(!QFile::exists(QString::fromStdString(StoreFile())));
    QVERIFY(!reg.KeyExists(kKey));
    QVERIFY(reg.OpenKey(kKey, true));
    QCOMPARE(reg.ReadString("Anything"), std::string());
    QCOMPARE(reg.CurrentPath(), std::string(kKey));

    // The new key is on disk, with its parents, before any value is written.
    TRegistry again;
    QVERIFY(again.KeyExists("Software\\Kelbrun"));
    QVERIFY(again.OpenKey(kKey, false));
    QVERIFY(again.GetValueNames().empty());

    QVERIFY(!reg.OpenKey("software\\\\double", true));
    QVERIFY(!reg.OpenKey("software\\bad\nname", true));
    QVERIFY_THROWS_EXCEPTION(EMorvoError, reg.WriteString("x", "y"));  // the failed open closed the key
  }

  void deletingValuesAndKeys() {
    WriteOne("Keep", "k");
    WriteOne("Drop", "d");
    WriteOne("Pos", "1", std::string(kKey) + "\\DlgPos\\fMain");
    WriteOne("Other", "2", std::string(kKey) + "2");
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kKey, false));
      QVERIFY(reg.DeleteValue("DROP"));
      QVERIFY(!reg.DeleteValue("Drop"));
      QVERIFY(!reg.ValueExists("Drop"));
    }
    QCOMPARE(ReadOne("Keep"), std::string("k"));
    QCOMPARE(ReadOne("Drop"), std::string());

    TRegistry reg;
    QVERIFY(!reg.DeleteKey(""));
    QVERIFY(!reg.DeleteKey("software\\nothing"));
    QVERIFY(reg.DeleteKey("SOFTWARE\\Kelbrun\\zib"));
    QVERIFY(!reg.KeyExists(kKey));
    QVERIFY(!reg.KeyExists(std::string(kKey) + "\\DlgPos\\fMain"));
    // A sibling whose name merely starts the same stays.
    QCOMPARE(ReadOne("Other", std::string(kKey) + "2"), std::string("2"));
    QVERIFY(reg.KeyExists("software\\Kelbrun"));
  }

  void errorTextsNameTheValue() {
    TRegistry reg;
    QVERIFY(reg.OpenKey(kKey, true));
    reg.WriteBinaryData("Blob", "\x01\x02");
    reg.WriteString("Text", "t");
    try {
      reg.ReadString("Blob");
      QFAIL("a binary value read as text");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Invalid data type for 'Blob'"));
    }
    try {
      reg.ReadBinaryData("Text");
      QFAIL("a text value read as bytes");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Invalid data type for 'Text'"));
    }
    // Rewriting a value with another type replaces it.
    reg.WriteString("Blob", "now text");
    QCOMPARE(ReadOne("Blob"), std::string("now text"));

    TRegistry closed;
    try {
      closed.WriteString("Name", "v");
      QFAIL("a write without an open key");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Failed to set data for 'Name'"));
    }
  }

  void aStoreThatCannotBeWrittenFailsCleanly() {
    WriteOne("Before", "b");
    TRegistry reg;
    QVERIFY(reg.OpenKey(kKey, false));
    // A file where the store's folder should be: nothing can be created
    // there, whoever runs the test.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + "/blocked";
    QVERIFY(WriteFileBytes(config.toStdString() + "/Kelbrun", "not a folder"));
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    try {
      reg.WriteString("After", "a");
      QFAIL("a write into a store that cannot exist");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Failed to set data for 'After'"));
    }
    QVERIFY(!reg.DeleteValue("Before"));
    TRegistry other;
    QVERIFY(!other.OpenKey(kKey, true));
    QVERIFY(!other.OpenKey(kKey, false));
  }

  // A pipe or a device where the store should be reads as a store that
  // cannot be read: no key, no value, nothing created; nothing waits on it.
  // Its lock file follows the same rules, and so does a link planted by
  // another user in a shared settings folder. Each failure says what it met.
  void aStoreThatIsNoRegularFileReadsAsUnreadable_data() {
    QTest::addColumn<QString>("name");  // the store or its lock
    QTest::addColumn<QString>("plant");
    QTest::addColumn<QString>("told");
    const auto row = [](const char* Tag, const char* Name, const char* Plant, const char* Told) {
      QTest::newRow(Tag) << QString(Name) << QString(Plant) << QString(Told);
    };
    row("a pipe", "store", "pipe", "it cannot be read (Not a regular file)");
    row("a device", "store", "device", "it cannot be read (Not a regular file)");
    row("a pipe at the lock", "lock", "pipe", "cannot be used (Not a regular file)");
    row("a device at the lock", "lock", "device", "cannot be used (Not a regular file)");
    row("another user's link at the lock", "lock", "sticky link", "cannot be used (Permission denied)");
  }
  void aStoreThatIsNoRegularFileReadsAsUnreadable() {
    QFETCH(QString, name);
    QFETCH(QString, plant);
    QFETCH(QString, told);
    const std::string folder = TRegistry::StoreFolder();
    QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
    const std::string file = StoreFile() + (name == "lock" ? ".lock" : "");
    const std::string chosen = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/chosen";
    if (plant == "sticky link") {
      const passwd* nobody = ::getpwnam("nobody");
      if (::geteuid() != 0 || !nobody) {
        if (testsupport::InCi()) QFAIL("planting another user's link needs root and the user nobody");
        QSKIP("planting another user's link needs root and the user nobody");
      }
      QCOMPARE(::chmod(folder.c_str(), 01777), 0);
      QCOMPARE(::symlink(chosen.c_str(), file.c_str()), 0);
      QCOMPARE(::lchown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    } else {
      QCOMPARE(plant == "pipe" ? ::mkfifo(file.c_str(), 0600) : ::symlink("/dev/zero", file.c_str()), 0);
    }
    ForgetSettingsWriteFailure();
    if (name == "store") QCOMPARE(ReadOne("Any"), std::string("<no key>"));
    TRegistry reg;
    QVERIFY(!reg.OpenKey(kKey, true));
    QVERIFY2(QString::fromStdString(SettingsWriteFailure()).contains(told), SettingsWriteFailure().c_str());
    struct stat st {};
    QCOMPARE(::lstat(file.c_str(), &st), 0);
    QVERIFY(plant == "pipe" ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
    QVERIFY(!QFile::exists(QString::fromStdString(chosen)));
  }

  void twoWritersInTurnLoseNothing() {
    TRegistry first, second;
    QVERIFY(first.OpenKey(kKey, true));
    QVERIFY(second.OpenKey(kKey, true));
    first.WriteString("A", "from first");
    second.WriteString("B", "from second");  // opened before the first wrote
    first.WriteString("C", "first again");
    QCOMPARE(ReadOne("A"), std::string("from first"));
    QCOMPARE(ReadOne("B"), std::string("from second"));
    QCOMPARE(ReadOne("C"), std::string("first again"));
  }

  void twoProcessesWritingAtOnceLoseNothing() {
    WriteOne("Start", "s");
    const int count = 40;
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      int failures = 0;
      for (int i = 0; i < count; ++i) {
        try {
          TRegistry reg;
          if (!reg.OpenKey(kKey, true)) ++failures;
          reg.WriteString("child" + std::to_string(i), std::to_string(i));
        } catch (...) {
          ++failures;
        }
      }
      _exit(failures == 0 ? 0 : 1);
    }
    for (int i = 0; i < count; ++i) WriteOne("parent" + std::to_string(i), std::to_string(i));
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    TRegistry reg;
    QVERIFY(reg.OpenKey(kKey, false));
    QCOMPARE(reg.GetValueNames().size(), size_t(2 * count + 1));
    QCOMPARE(reg.ReadString("child39"), std::string("39"));
    QCOMPARE(reg.ReadString("parent0"), std::string("0"));
  }

  void anInterruptedWriteLeavesTheOldStoreWhole() {
    WriteOne("Old", "whole");
    const std::string before = ReadFileBytes(StoreFile());
    // What a writer that died before its rename leaves behind.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      TWholeFileWriter writer;
      writer.Open(StoreFile(), 0600);
      writer.Write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\software\\Kel");
      _exit(0);
    }
    QCOMPARE(waitpid(child, nullptr, 0), child);
    const QStringList left = Temporaries();
    QCOMPARE(left.size(), 1);
    const std::string temp = TRegistry::StoreFolder() + left[0].toStdString();
    QCOMPARE(ReadOne("Old"), std::string("whole"));
    QCOMPARE(ReadFileBytes(StoreFile()), before);
    WriteOne("New", "n");
    QVERIFY(!QFile::exists(QString::fromStdString(temp)));
    QCOMPARE(ReadOne("Old"), std::string("whole"));
    QCOMPARE(ReadOne("New"), std::string("n"));
    QVERIFY(DamagedCopies().isEmpty());
  }

  // A writer that hits a size limit halfway through its new content: once
  // killed by the kernel in the middle of the write, once told by a failing
  // write. Either way the old store stays byte for byte.
  void aWriteCutOffHalfwayLeavesTheOldStoreWhole() {
    WriteOne("Old", "whole");
    const std::string before = ReadFileBytes(StoreFile());
    const std::string big(1 << 20, 'b');
    for (const bool killed : {true, false}) {
      const pid_t child = fork();
      QVERIFY(child >= 0);
      if (child == 0) {
        const rlimit noCore{0, 0};
        const rlimit small{64 << 10, 64 << 10};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &small);
        ::signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
        try {
          TRegistry reg;
          if (!reg.OpenKey(kKey, false)) _exit(3);
          reg.WriteString("Big", big);
        } catch (const EMorvoError& e) {
          _exit(std::string(e.what()) == "Failed to set data for 'Big'" ? 0 : 2);
        }
        _exit(1);  // the write claimed success
      }
      int status = 0;
      QCOMPARE(waitpid(child, &status, 0), child);
      if (killed)
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the writer was not stopped by the limit");
      else
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the failed write was not reported");
      QCOMPARE(ReadFileBytes(StoreFile()), before);
      QCOMPARE(ReadOne("Old"), std::string("whole"));
      QCOMPARE(ReadOne("Big"), std::string());
    }
    // The next writer clears what the killed one left and sets nothing aside.
    WriteOne("New", "n");
    const QStringList left = Temporaries();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
    QVERIFY(DamagedCopies().isEmpty());
    QCOMPARE(ReadOne("Old"), std::string("whole"));
  }

  // Whatever length a store file is cut to, reading it neither fails nor
  // invents data: every value found is whole (texts) or a leading part of
  // the value (a byte list cut between two bytes), and the file is unchanged.
  void everyCutOfAStoreReadsWithoutFailing() {
    const std::string blob = AllBytes();
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kKey, true));
      reg.WriteString("Text", "quote \" back\\ tab\t \xC3\xA4 end");
      reg.WriteBinaryData("Blob", blob);
      reg.WriteString("", "default");
      QVERIFY(reg.OpenKey(std::string(kKey) + "\\DlgPos", true));
      reg.WriteString("Left", "12");
    }
    const std::string whole = ReadFileBytes(StoreFile());
    for (size_t n = 0; n <= whole.size(); ++n) {
      const std::string cut = whole.substr(0, n);
      QVERIFY(WriteFileBytes(StoreFile(), cut));
      try {
        TRegistry reg;
        if (reg.OpenKey(kKey, false)) {
          for (const std::string& name : reg.GetValueNames()) {
            if (name == "Blob") {
              const std::string got = reg.ReadBinaryData(name);
              QVERIFY2(blob.compare(0, got.size(), got) == 0, qPrintable(QString::number(n)));
            } else if (name == "Text") {
              QCOMPARE(reg.ReadString(name), std::string("quote \" back\\ tab\t \xC3\xA4 end"));
            } else {
              QVERIFY2(name.empty(), name.c_str());
              QCOMPARE(reg.ReadString(name), std::string("default"));
            }
          }
        }
        if (reg.OpenKey(std::string(kKey) + "\\dlgpos", false) && reg.ValueExists("Left"))
          QCOMPARE(reg.ReadString("Left"), std::string("12"));
      } catch (const EMorvoError& e) {
        QFAIL(qPrintable(QString::number(n) + ": " + e.what()));
      }
      QCOMPARE(ReadFileBytes(StoreFile()), cut);
    }
  }

  void aDamagedStoreIsReadAsFarAsItGoesAndSetAside() {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\r\n"
        "\"Good\"=\"g\"\r\n"
        "\"BadEscape\"=\"a\\qb\"\r\n"
        "garbage line\r\n"
        "\"Bin\"=hex:0a,0b,\\\r\n"
        "  0c\r\n"
        "\"Later\"=\"l\"\r\n"
        "[HKEY_LOCAL_MACHINE\\elsewhere]\r\n"
        "\"Foreign\"=\"f\"\r\n"
        "[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB\\Sub]\r\n"
        "\"Cut\"=hex:01,0";
    QVERIFY(WriteFileBytes(StoreFile(), damaged));
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kKey, false));
      QCOMPARE(reg.ReadString("Good"), std::string("g"));
      QCOMPARE(reg.ReadString("Later"), std::string("l"));
      QCOMPARE(reg.ReadBinaryData("Bin"), std::string("\x0a\x0b\x0c"));
      QVERIFY(!reg.ValueExists("BadEscape"));
      QVERIFY(!reg.ValueExists("Foreign"));
      QVERIFY(reg.KeyExists(std::string(kKey) + "\\Sub"));
    }
    // Reading alone changes nothing on disk.
    QCOMPARE(ReadFileBytes(StoreFile()), damaged);
    QVERIFY(DamagedCopies().isEmpty());

    WriteOne("Fresh", "f");
    const QStringList copies = DamagedCopies();
    QCOMPARE(copies.size(), 1);
    QCOMPARE(ReadFileBytes(TRegistry::StoreFolder() + copies[0].toStdString()), damaged);
    QCOMPARE(ReadOne("Good"), std::string("g"));
    QCOMPARE(ReadOne("Fresh"), std::string("f"));

    // The rewritten store is whole again: the next write sets nothing aside.
    WriteOne("Fresh", "again");
    QCOMPARE(DamagedCopies().size(), 1);
  }

  // Setting a damaged store aside must not lose it when the write that
  // follows fails (a full disk): the store stays readable where it was.
  void aFailedWriteOverADamagedStoreKeepsItInPlace() {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\n\"Good\"=\"g\"\nnoise\n";
    QVERIFY(WriteFileBytes(StoreFile(), damaged));
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      const rlimit small{64 << 10, 64 << 10};
      ::setrlimit(RLIMIT_FSIZE, &small);
      ::signal(SIGXFSZ, SIG_IGN);
      try {
        TRegistry reg;
        if (!reg.OpenKey(kKey, false)) _exit(3);
        reg.WriteString("Big", std::string(1 << 20, 'b'));
      } catch (const EMorvoError&) {
        _exit(0);
      }
      _exit(1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(ReadFileBytes(StoreFile()), damaged);
    QCOMPARE(ReadOne("Good"), std::string("g"));
    QVERIFY(DamagedCopies().isEmpty());

    WriteOne("Small", "s");
    const QStringList copies = DamagedCopies();
    QCOMPARE(copies.size(), 1);
    QCOMPARE(ReadFileBytes(TRegistry::StoreFolder() + copies[0].toStdString()), damaged);
    QCOMPARE(ReadOne("Good"), std::string("g"));
    QCOMPARE(ReadOne("Small"), std::string("s"));
  }

  // Calls that fail only on a sick disk or a network mount: each stops the
  // write, leaves the store byte for byte and no temporary file, and is told.
  void aFailingSystemCallLeavesTheStoreAsItWas_data() {
    QTest::addColumn<QString>("call");
    for (const char* call : {"write", "sync", "close", "rename", "read"}) QTest::newRow(call) << call;
  }
  void aFailingSystemCallLeavesTheStoreAsItWas() {
    QFETCH(QString, call);
    WriteOne("Old", "whole");
    ::chmod(StoreFile().c_str(), 0640);
    const std::string before = ReadFileBytes(StoreFile());
    ForgetSettingsWriteFailure();
    {
      TFailingCalls failing;
      TFileOps& ops = FileOps();
      if (call == "write") ops.Write = [](int, const void*, size_t) -> ssize_t { return FailEio(); };
      if (call == "sync") ops.Fsync = [](int) { return FailEio(); };
      if (call == "close") ops.Close = [](int Fd) { return ::close(Fd), FailEio(); };
      if (call == "rename") ops.Rename = [](const char*, const char*) { return FailEio(); };
      if (call == "read") ops.Read = [](int, void*, size_t) -> ssize_t { return FailEio(); };
      // A store that cannot be read cannot be opened either.
      TRegistry reg;
      QCOMPARE(reg.OpenKey(kKey, true), call != "read");
      if (call != "read") QVERIFY_THROWS_EXCEPTION(EMorvoError, reg.WriteString("New", "n"));
    }
    QCOMPARE(ReadFileBytes(StoreFile()), before);
    QCOMPARE(Temporaries(), QStringList());
    QVERIFY(QString::fromStdString(SettingsWriteFailure()).contains("HKEY_CURRENT_USER.reg"));
    // A store that is written keeps the mode it was given.
    WriteOne("New", "n");
    struct stat st {};
    QCOMPARE(::stat(StoreFile().c_str(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
  }

  // Where no second name can be made, the damaged store is moved aside; a
  // write that then fails moves it back.
  void aDamagedStoreMovedAsideComesBackAfterAFailedWrite() {
    const std::string damaged = "[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\n\"Good\"=\"g\"\nnoise\n";
    QVERIFY(WriteFileBytes(StoreFile(), damaged));
    {
      TFailingCalls failing;
      FileOps().Link = [](const char*, const char*) {
        errno = EPERM;
        return -1;
      };
      FileOps().Fsync = [](int) { return FailEio(); };
      TRegistry reg;
      QVERIFY(reg.OpenKey(kKey, false));
      QVERIFY_THROWS_EXCEPTION(EMorvoError, reg.WriteString("New", "n"));
    }
    QCOMPARE(ReadFileBytes(StoreFile()), damaged);
    QVERIFY(DamagedCopies().isEmpty());
  }

  // Another instance rewrites the store in place with the same size and
  // its time is set back: inode, size and time stay as they were. Within a
  // step of the file system's clock a read may not go by the stamp, and a
  // locked read-modify-write never does.
  void aSameSizeRewriteUnderAnUnchangedStampIsSeen_data() {
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("locked");
    QTest::newRow("a read, within one time step") << 0 << false;
    QTest::newRow("a locked update, long after") << 10 << true;
  }
  void aSameSizeRewriteUnderAnUnchangedStampIsSeen() {
    QFETCH(int, age);
    QFETCH(bool, locked);
    WriteOne("Other", "1");
    WriteOne("Mine", "a");
    const std::string file = StoreFile();
    timespec times[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
    if (age == 0) QCOMPARE(::clock_gettime(CLOCK_REALTIME, &times[1]), 0);
    times[0] = times[1];
    QCOMPARE(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    QCOMPARE(ReadOne("Other"), std::string("1"));  // parsed and kept
    std::string text = ReadFileBytes(file);
    text.replace(text.find("\"Other\"=\"1\""), 11, "\"Other\"=\"2\"");
    const int fd = ::open(file.c_str(), O_WRONLY);
    QCOMPARE(::pwrite(fd, text.data(), text.size(), 0), ssize_t(text.size()));
    QCOMPARE(::futimens(fd, times), 0);
    ::close(fd);
    if (locked) {
      TRegistry reg;
      QVERIFY(reg.UpdateKey(kKey, [&reg] { reg.WriteString("Mine", "b"); }));
      QCOMPARE(ReadOne("Mine"), std::string("b"));
    }
    QCOMPARE(ReadOne("Other"), std::string("2"));
  }

  void storesWithoutHeaderOrWithForeignKindsAreKept() {
    // Kinds this program never writes stay as they were through a rewrite.
    QVERIFY(WriteFileBytes(StoreFile(),
                           "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\n"
                           "\"Count\"=dword:0000002a\n\"Multi\"=hex(7):61,00,00,00\n"));
    WriteOne("Added", "a");
    QCOMPARE(DamagedCopies().size(), 0);
    TRegistry reg;
    QVERIFY(reg.OpenKey(kKey, false));
    QCOMPARE(reg.GetDataType("Count"), TRegDataType::Unknown);
    QCOMPARE(reg.ReadBinaryData("Count"), std::string("\x2a\0\0\0", 4));
    QCOMPARE(reg.ReadBinaryData("Multi"), std::string("a\0\0\0", 4));
    QVERIFY_THROWS_EXCEPTION(EMorvoError, reg.ReadString("Count"));
    const std::string text = ReadFileBytes(StoreFile());
    QVERIFY(text.find("\n\"Count\"=dword:0000002a\n") != std::string::npos);
    QVERIFY(text.find("\n\"Multi\"=hex(7):61,00,00,00\n") != std::string::npos);

    // No header: whatever it is, it is not overwritten.
    QVERIFY(WriteFileBytes(StoreFile(), "[HKEY_CURRENT_USER\\software\\Kelbrun\\ZIB]\n\"V\"=\"v\"\n"));
    QCOMPARE(ReadOne("V"), std::string("v"));
    WriteOne("W", "w");
    QCOMPARE(DamagedCopies().size(), 1);
    QCOMPARE(ReadOne("V"), std::string("v"));
  }
};

QTEST_GUILESS_MAIN(TestPlatformRegistry)
#include "tst_platform_registry.moc"
