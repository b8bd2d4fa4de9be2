#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>
#include <vector>

#include "ProfileFile.h"
#include "TestSupport.h"
#include "WholeFile.h"

using testsupport::WriteFileBytes;

class TestPlatformProfile : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  std::string Path(const char* name) const { return FDir.path().toStdString() + "/" + name; }

 private slots:
  void namesMatchWithoutCaseAndBlanks() {
    const std::string file = Path("names.cfg");
    QVERIFY(WriteFileBytes(file, "[ Settings ]\r\n  Views =A,B  \r\nviews=second\r\n[Other]\r\nKey=o\r\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("settings", "VIEWS", "x"), std::string("A,B"));
    QCOMPARE(ini.ReadString(" SETTINGS ", " views", "x"), std::string("A,B"));
    QCOMPARE(ini.ReadString("other", "KEY", "x"), std::string("o"));
    // Not a match: a different name, or a name only found in another section.
    QCOMPARE(ini.ReadString("Setting", "Views", "x"), std::string("x"));
    QCOMPARE(ini.ReadString("Other", "Views", "x"), std::string("x"));
  }

  void oneEnclosingQuotePairIsRemoved() {
    const std::string file = Path("quotes.cfg");
    QVERIFY(WriteFileBytes(file,
                           "[Q]\n"
                           "double = \"  two  words \"  \n"
                           "single='it''s'\n"
                           "mixed=\"abc'\n"
                           "twice=\"\"x\"\"\n"
                           "lone=\"\n"
                           "empty=''\n"
                           "inner=a \"b\" c\n"
                           "open=\"abc\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("Q", "double"), std::string("  two  words "));
    QCOMPARE(ini.ReadString("Q", "single"), std::string("it''s"));
    QCOMPARE(ini.ReadString("Q", "mixed"), std::string("\"abc'"));
    QCOMPARE(ini.ReadString("Q", "twice"), std::string("\"x\""));
    QCOMPARE(ini.ReadString("Q", "lone"), std::string("\""));
    QCOMPARE(ini.ReadString("Q", "empty", "dflt"), std::string());
    QCOMPARE(ini.ReadString("Q", "inner"), std::string("a \"b\" c"));
    QCOMPARE(ini.ReadString("Q", "open"), std::string("\"abc"));
  }

  void longValuesAreCutTo2047Bytes() {
    const std::string file = Path("long.cfg");
    std::string longValue;
    for (int i = 0; i < 3000; ++i) longValue += static_cast<char>('a' + i % 26);
    const std::string exact(2047, 'e');
    const std::string quotedInner(2048, 'q');
    QVERIFY(WriteFileBytes(
        file, "[L]\nlong=" + longValue + "\nexact=" + exact + "\nquoted=\"" + quotedInner + "\"\nnext=after\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("L", "long"), longValue.substr(0, 2047));
    QCOMPARE(ini.ReadString("L", "exact"), exact);
    // The quotes go before the cut: 2047 of the inner bytes come back.
    QCOMPARE(ini.ReadString("L", "quoted"), quotedInner.substr(0, 2047));
    QCOMPARE(ini.ReadString("L", "next"), std::string("after"));
  }

  void missingFileSectionOrKeyGiveTheDefault() {
    const TProfileFile absent(Path("absent.cfg"));
    QCOMPARE(absent.ReadString("S", "K", "dflt"), std::string("dflt"));
    QCOMPARE(absent.ReadString("S", "K"), std::string());

    const std::string file = Path("missing.cfg");
    QVERIFY(WriteFileBytes(file, "orphan=before any section\n[S]\n;K=commented\nnovalue\n\n[T]\nK=t\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("S", "K", "dflt"), std::string("dflt"));
    QCOMPARE(ini.ReadString("S", "novalue", "dflt"), std::string("dflt"));
    QCOMPARE(ini.ReadString("S", "orphan", "dflt"), std::string("dflt"));
    QCOMPARE(ini.ReadString("U", "K", "dflt"), std::string("dflt"));
    QCOMPARE(ini.ReadString("T", "K", "dflt"), std::string("t"));
    // A folder of that name is no file.
    const TProfileFile folder(FDir.path().toStdString());
    QCOMPARE(folder.ReadString("S", "K", "dflt"), std::string("dflt"));
  }

  void firstOccurrenceWinsAndLineEndsAreHandled() {
    const std::string file = Path("dups.cfg");
    QVERIFY(WriteFileBytes(file,
                           "\xEF\xBB\xBF[A]\r\nk=first\r\nK=second\r\nformula=x=y\r\n"
                           "[B]\nk=b\n[a]\nk=third\nlater=only in the repeated section\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("A", "k"), std::string("first"));
    QCOMPARE(ini.ReadString("A", "formula"), std::string("x=y"));
    QCOMPARE(ini.ReadString("B", "k"), std::string("b"));
    QCOMPARE(ini.ReadString("A", "later", "dflt"), std::string("dflt"));
  }

  void everyReadSeesTheFileAsItIsNow() {
    const std::string file = Path("live.cfg");
    QVERIFY(WriteFileBytes(file, "[S]\nK=1\n"));
    const TProfileFile ini(file);
    QCOMPARE(ini.ReadString("S", "K"), std::string("1"));
    QVERIFY(WriteFileBytes(file, "[S]\nK=2\n"));
    QCOMPARE(ini.ReadString("S", "K"), std::string("2"));
    QVERIFY(QFile::remove(QString::fromStdString(file)));
    QCOMPARE(ini.ReadString("S", "K", "gone"), std::string("gone"));
  }

  // A rewrite that leaves all of the stamp but one part as it was: each part
  // alone must tell it. The file's time is set back by hand (as a copy that
  // keeps times does) beyond the step of the file system's clock, except
  // where the rewrite falls within that step.
  void eachPartOfTheStampTellsARewrite_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("the time, within its second") << "nanoseconds";
    QTest::newRow("the inode") << "inode";
    QTest::newRow("the size") << "size";
    QTest::newRow("nothing, but within the clock's step") << "fresh";
    QTest::newRow("the file, while it is read") << "during read";
  }
  void eachPartOfTheStampTellsARewrite() {
    QFETCH(QString, change);
    const std::string file = Path("stamp.cfg");
    QFile::remove(QString::fromStdString(file));
    QVERIFY(WriteFileBytes(file, "[S]\nK=1\n"));
    timespec times[2] = {};
    QCOMPARE(::clock_gettime(CLOCK_REALTIME, &times[1]), 0);
    // 0.3 s ago when fresh, else 10 s ago at a set nanosecond.
    if (change == "fresh")
      times[1] = times[1].tv_nsec >= 300000000 ? timespec{times[1].tv_sec, times[1].tv_nsec - 300000000}
                                               : timespec{times[1].tv_sec - 1, times[1].tv_nsec + 700000000};
    else
      times[1] = timespec{times[1].tv_sec - 10, 100};
    times[0] = times[1];
    QCOMPARE(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const TProfileFile ini(file);
    static std::string gFile;
    gFile = file;
    const TFileOps saved = FileOps();
    if (change == "during read") {
      // Replaced by a new file (new inode, time set back) while the old one is read.
      FileOps().Read = [](int Fd, void* Buffer, size_t Count) {
        FileOps().Read = ::read;
        WriteFileBytes(gFile + ".new", "[S]\nK=2\n");
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, (gFile + ".new").c_str(), old, 0);
        ::rename((gFile + ".new").c_str(), gFile.c_str());
        return ::read(Fd, Buffer, Count);
      };
    }
    QCOMPARE(ini.ReadString("S", "K"), std::string("1"));
    FileOps() = saved;
    if (change == "inode") {
      QVERIFY(WriteFileBytes(file + ".new", "[S]\nK=2\n"));
      QCOMPARE(::rename((file + ".new").c_str(), file.c_str()), 0);
    } else if (change != "during read") {
      QVERIFY(WriteFileBytes(file, change == "size" ? "[S]\nK=22\n" : "[S]\nK=2\n"));
      if (change == "nanoseconds") times[1].tv_nsec += 1000;
    }
    if (change != "during read") QCOMPARE(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    QCOMPARE(ini.ReadString("S", "K"), std::string(change == "size" ? "22" : "2"));
  }

  // A large file goes to the disk past the page cache where the file system
  // takes it that way; whatever it takes, the file holds every byte, the odd
  // tail never goes the direct way, and a failing disk leaves the old file.
  void aLargeFileIsWrittenWholeWhateverTheSystemTakes_data() {
    QTest::addColumn<int>("directError");  // what a direct write gets: 0 is success
    QTest::newRow("taken past the cache") << 0;
    QTest::newRow("refused by the file system") << EINVAL;
    QTest::newRow("a full disk") << ENOSPC;
  }
  void aLargeFileIsWrittenWholeWhateverTheSystemTakes() {
    QFETCH(int, directError);
    static int gError;
    static bool gUnalignedDirect, gDirect;
    gError = directError;
    gUnalignedDirect = gDirect = false;
    const size_t size = (size_t{8} << 20) + 4096 + 123;
    void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    QVERIFY(pages != MAP_FAILED);
    char* bytes = static_cast<char*>(pages);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    const std::string file = Path("large.bin");
    QVERIFY(WriteFileBytes(file, "old"));
    const TFileOps saved = FileOps();
    FileOps().Write = [](int Fd, const void* Buffer, size_t Count) -> ssize_t {
      if (!(::fcntl(Fd, F_GETFL) & O_DIRECT)) return ::write(Fd, Buffer, Count);
      gDirect = true;
      if (Count % 4096 != 0) gUnalignedDirect = true;
      if (gError == 0) return ::write(Fd, Buffer, Count);
      errno = gError;
      return -1;
    };
    std::string reason;
    const bool written = WriteFileAtomically(file, std::string_view(bytes, size), reason);
    FileOps() = saved;
    std::string content;
    QVERIFY(ReadRegularFile(file, content));
    QVERIFY(gDirect);
    QVERIFY(!gUnalignedDirect);
    if (directError == ENOSPC) {
      QVERIFY(!written);
      QCOMPARE(content, std::string("old"));
    } else {
      QVERIFY2(written, reason.c_str());
      QVERIFY(content == std::string_view(bytes, size));
    }
    ::munmap(pages, size);
  }

  // Written in pieces, or by another writer under the temporary's name: the
  // file that replaces the target is synced before its rename, the folder
  // after it, and the file has the replaced one's mode.
  void theNewFileIsSyncedBeforeItsRenameAndTheFolderAfter_data() {
    QTest::addColumn<bool>("byName");
    QTest::newRow("written in pieces") << false;
    QTest::newRow("written by name, as a library writes") << true;
  }
  void theNewFileIsSyncedBeforeItsRenameAndTheFolderAfter() {
    QFETCH(bool, byName);
    static std::vector<std::string> gCalls;
    gCalls.clear();
    const std::string file = Path("synced.bin");
    QVERIFY(WriteFileBytes(file, "old"));
    QCOMPARE(::chmod(file.c_str(), 0640), 0);
    std::string content((3 << 20) + 7, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
    const TFileOps saved = FileOps();
    FileOps().Fsync = [](int Fd) {
      struct stat st {};
      gCalls.push_back(::fstat(Fd, &st) == 0 && S_ISDIR(st.st_mode) ? "sync folder"
                                                                    : "sync " + std::to_string(st.st_ino));
      return ::fsync(Fd);
    };
    FileOps().Rename = [](const char* From, const char* To) { return gCalls.push_back("rename"), ::rename(From, To); };
    bool committed = false;
    if (byName) {
      TWholeFileTemporary temporary;
      QVERIFY(temporary.Open(file));
      const std::string own = temporary.Path() + ".lib";
      QVERIFY(WriteFileBytes(own, content));  // with the umask's mode, not the target's
      QCOMPARE(::rename(own.c_str(), temporary.Path().c_str()), 0);
      committed = temporary.Commit();
    } else {
      TWholeFileWriter writer;
      QVERIFY(writer.Open(file));
      for (size_t at = 0; at < content.size(); at += 1000)
        QVERIFY(writer.Write(std::string_view(content).substr(at, 1000)));
      committed = writer.Commit();
    }
    FileOps() = saved;
    QVERIFY(committed);
    QVERIFY(testsupport::ReadFileBytes(file) == content);
    struct stat st {};
    QCOMPARE(::stat(file.c_str(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(gCalls, (std::vector<std::string>{"sync " + std::to_string(st.st_ino), "rename", "sync folder"}));
  }

  // A pipe is never opened: that alone would let a writer waiting on it go.
  // Should the name turn into one between the look and the open, the open
  // refuses it all the same.
  void aPipeIsRefusedBeforeAndAfterItsOpen() {
    const std::string fifo = Path("pipe.cfg");
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN) >= 0);
    std::string bytes;
    QVERIFY(!ReadRegularFile(fifo, bytes));
    char event[4096];
    const bool opened = ::read(watch, event, sizeof event) > 0;
    ::close(watch);
    QVERIFY(!opened);

    static std::string gFifo;
    gFifo = fifo;
    const std::string file = Path("turns.cfg");
    QVERIFY(WriteFileBytes(file, "[S]\nK=1\n"));
    const TFileOps saved = FileOps();
    FileOps().Open = [](const char* Name, int Flags, mode_t Mode) {
      return ::open(gFifo.c_str(), Flags, Mode);  // the name became a pipe
    };
    std::string reason;
    const bool read = ReadRegularFile(file, bytes, &reason);
    FileOps() = saved;
    QVERIFY(!read);
    QCOMPARE(reason, std::string("Not a regular file"));
  }
};

QTEST_GUILESS_MAIN(TestPlatformProfile)
#include "tst_platform_profile.moc"
