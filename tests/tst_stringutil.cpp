#include <QtTest>

#include "LongIntArray.h"
#include "StringUtil.h"

class TestStringUtil : public QObject {
  Q_OBJECT
 private slots:
  void integerConversionFollowsTheClassicRules() {
    QCOMPARE(TryStrToInt("  12").value_or(-99), 12);
    QCOMPARE(TryStrToInt("-7").value_or(-99), -7);
    QCOMPARE(TryStrToInt("$1F").value_or(-99), 31);
    QVERIFY(!TryStrToInt("12 ").has_value());  // a trailing blank does not convert
    QVERIFY(!TryStrToInt("").has_value());
    QVERIFY(!TryStrToInt("x").has_value());
    QVERIFY(!TryStrToInt("99999999999").has_value());
  }
  void fourDigitIds() {
    QCOMPARE(FormatId4(12), std::string("0012"));
    QCOMPARE(FormatId4(12345), std::string("12345"));
    QCOMPARE(FormatId4(-1), std::string("-0001"));
  }
  void linesSplitAtEveryBreakKind() {
    const auto lines = SplitLines("a\r\nb\rc\nd\n");
    QCOMPARE(lines.size(), size_t(4));
    QCOMPARE(lines[3], std::string("d"));
    QCOMPARE(SplitLines("a\n\nb").size(), size_t(3));
  }
  void onebasedCopyIsClipped() {
    QCOMPARE(Copy("abcdef", 3, 2), std::string("cd"));
    QCOMPARE(Copy("abc", 3, 10), std::string("c"));
    QCOMPARE(Copy("abc", 4, 1), std::string());
    QCOMPARE(Pos("c", "abc"), size_t(3));
    QCOMPARE(Pos("", "abc"), size_t(0));
  }
  void sortedSearchFindsTheFirstOfEqualIds() {
    TLongIntArray a;
    for (int v : {5, 1, 3, 3, 9}) a.Append(v);
    a.Sort();
    QCOMPARE(a.IndexOfSorted(3), 1);
    QCOMPARE(a.IndexOfSorted(4), -1);
    a.RemoveDuplicates();
    QCOMPARE(a.CommaText(), std::string("1,3,5,9"));
  }
};

QTEST_GUILESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
