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
    for (const char* twenty : {"x14", "X14", "$14", "0x14", "0X14", " +x14"})
      QCOMPARE(TryStrToInt(twenty).value_or(0), 20);
    QCOMPARE(TryStrToInt("-x10").value_or(0), -16);
    QVERIFY(!TryStrToInt("12 ").has_value());  // a trailing blank does not convert
    QVERIFY(!TryStrToInt("").has_value());
    QVERIFY(!TryStrToInt("x").has_value());
    QVERIFY(!TryStrToInt("99999999999").has_value());
  }
  // The ends of the 32-bit range, and the prefixes that carry no digits.
  void integerConversionAtItsLimits() {
    QCOMPARE(TryStrToInt("2147483647").value_or(0), INT32_MAX);
    QCOMPARE(TryStrToInt("-2147483648").value_or(0), INT32_MIN);
    QVERIFY(!TryStrToInt("2147483648").has_value());
    QVERIFY(!TryStrToInt("-2147483649").has_value());
    QCOMPARE(TryStrToInt("$FFFFFFFF").value_or(0), -1);  // hexadecimal is the 32-bit pattern
    QCOMPARE(TryStrToInt("0x7fffffff").value_or(0), INT32_MAX);
    QVERIFY(!TryStrToInt("$100000000").has_value());
    for (const char* s : {"+", "-", "$", "0x", "  ", "1 2", "\t1", "12\n"}) QVERIFY2(!TryStrToInt(s).has_value(), s);
    QCOMPARE(StrToIntDef("0338=Name", -1), -1);
    QCOMPARE(StrToIntDef(" 338", -1), 338);
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
