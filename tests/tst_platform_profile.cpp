#include <QTemporaryDir>
#include <QtTest>

#include "ProfileFile.h"
#include "TestSupport.h"

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
};

QTEST_GUILESS_MAIN(TestPlatformProfile)
#include "tst_platform_profile.moc"
