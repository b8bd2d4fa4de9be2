#include <QtTest>

#include "FormatPattern.h"
#include "MorvoError.h"

namespace {

using Args = std::vector<TFormatArg>;

std::string F(std::string_view pattern, Args args = {}) { return FormatPattern(pattern, args); }
TFormatArg I(int64_t v) { return TFormatArg(v); }
TFormatArg S(const char* s) { return TFormatArg(std::string(s)); }

// The message must name the pattern, so the user can find the faulty key.
bool FailsNamingPattern(std::string_view pattern, Args args) {
  try {
    FormatPattern(pattern, args);
  } catch (const EMorvoError& e) {
    return std::string(e.what()).find("'" + std::string(pattern) + "'") != std::string::npos;
  }
  return false;
}

}  // namespace

class TestFormatPattern : public QObject {
  Q_OBJECT
 private slots:
  void literalsAndPercentSigns() {
    QCOMPARE(F("body 100%%"), std::string("body 100%"));
    QCOMPARE(F("%%%s%%", {S("x")}), std::string("%x%"));
    QCOMPARE(F(""), std::string());
    // Arguments no directive uses are ignored.
    QCOMPARE(F("plain", {I(1), S("a")}), std::string("plain"));
  }

  void textWidthAndPrecision() {
    QCOMPARE(F("[%5s]", {S("ab")}), std::string("[   ab]"));
    QCOMPARE(F("[%-5s]", {S("ab")}), std::string("[ab   ]"));
    QCOMPARE(F("[%.2s]", {S("abcdef")}), std::string("[ab]"));
    QCOMPARE(F("[%5.2s]", {S("abcdef")}), std::string("[   ab]"));
    QCOMPARE(F("[%2s]", {S("abcdef")}), std::string("[abcdef]"));  // width never cuts
    QCOMPARE(F("[%.0s]", {S("abc")}), std::string("[]"));
    QCOMPARE(F("[%S]", {S("up")}), std::string("[up]"));
    // UTF-8 text counts characters: "ä" is two bytes but one character.
    QCOMPARE(F("[%3s]", {S("\xC3\xA4")}), std::string("[  \xC3\xA4]"));
    QCOMPARE(F("[%.1s]", {S("\xC3\xA4\xC3\xB6")}), std::string("[\xC3\xA4]"));
  }

  void integerConversions() {
    QCOMPARE(F("%d", {I(-42)}), std::string("-42"));
    QCOMPARE(F("%D|%U|%X", {I(7), I(8), I(255)}), std::string("7|8|FF"));
    QCOMPARE(F("[%5d]", {I(42)}), std::string("[   42]"));
    QCOMPARE(F("[%-5d]", {I(42)}), std::string("[42   ]"));
    QCOMPARE(F("%.4d", {I(42)}), std::string("0042"));
    QCOMPARE(F("%.4d", {I(-42)}), std::string("-0042"));  // the sign comes on top of the digits
    QCOMPARE(F("[%6.3d]", {I(-5)}), std::string("[  -005]"));
    QCOMPARE(F("%.4x", {I(31)}), std::string("001F"));
    QCOMPARE(F("%x", {I(0)}), std::string("0"));
    // Negative numbers as unsigned or hexadecimal show their 32-bit pattern.
    QCOMPARE(F("%u", {I(-1)}), std::string("4294967295"));
    QCOMPARE(F("%2x", {I(-1)}), std::string("FFFFFFFF"));
    QCOMPARE(F("%x", {I(INT64_C(-2147483648))}), std::string("80000000"));
    QCOMPARE(F("%d", {I(INT64_C(-2147483648))}), std::string("-2147483648"));
    QCOMPARE(F("%d", {I(INT64_MIN)}), std::string("-9223372036854775808"));
    // A width of digits starting with 0 is still a width: no zero padding.
    QCOMPARE(F("[%03d]", {I(7)}), std::string("[  7]"));
  }

  void starTakesTheNextInteger() {
    QCOMPARE(F("[%*d]", {I(4), I(7)}), std::string("[   7]"));
    QCOMPARE(F("[%.*d]", {I(3), I(7)}), std::string("[007]"));
    QCOMPARE(F("[%*.*s]", {I(5), I(2), S("abc")}), std::string("[   ab]"));
    QCOMPARE(F("[%-*s]", {I(3), S("a")}), std::string("[a  ]"));
    // A negative width from the arguments pads on the right.
    QCOMPARE(F("[%*s]", {I(-3), S("a")}), std::string("[a  ]"));
    QVERIFY(FailsNamingPattern("%*d", {S("4"), I(7)}));
  }

  void indexesRepeatReorderAndContinue() {
    QCOMPARE(F("%1:s %0:s", {S("a"), S("b")}), std::string("b a"));
    // After an index the next directive continues with the following argument.
    QCOMPARE(F("%1:s %s %0:s %s", {S("a"), S("b"), S("c")}), std::string("b c a b"));
    QCOMPARE(F("%2:s", {S("a"), S("b"), S("c")}), std::string("c"));
    QCOMPARE(F("%0:s%0:s", {S("ab")}), std::string("abab"));
    QCOMPARE(F("%0:5d|", {I(3)}), std::string("    3|"));
    // The translation-table entry: 65 and 97, each as decimal and hexadecimal.
    QCOMPARE(F("%3d_$%0:2x_->_%3d_$%1:2x", {I(65), I(97)}), std::string(" 65_$41_->_ 97_$61"));
    QCOMPARE(F("%3d_$%0:2x_->_%3d_$%1:2x", {I(-1), I(5)}), std::string(" -1_$FFFFFFFF_->_  5_$ 5"));
  }

  void directivesThatDoNotFitFail() {
    // Conversion and argument of different kinds.
    QVERIFY(FailsNamingPattern("int %d", {S("12")}));
    QVERIFY(FailsNamingPattern("text %s", {I(12)}));
    QVERIFY(FailsNamingPattern("%x", {S("ff")}));
    QVERIFY(FailsNamingPattern("%u", {S("1")}));
    // Conversions the formatter does not offer.
    QVERIFY(FailsNamingPattern("%f", {I(1)}));
    QVERIFY(FailsNamingPattern("%e", {I(1)}));
    QVERIFY(FailsNamingPattern("%p", {I(1)}));
    QVERIFY(FailsNamingPattern("%5%", {I(1)}));
    // Directives left without an argument.
    QVERIFY(FailsNamingPattern("level %d", {}));
    QVERIFY(FailsNamingPattern("%s %s", {S("a")}));
    QVERIFY(FailsNamingPattern("%3:s", {S("a"), S("b")}));
    QVERIFY(FailsNamingPattern("%1:s %s", {S("a"), S("b")}));
    QVERIFY(FailsNamingPattern("%.*d", {I(3)}));
    // A directive cut off by the end of the pattern.
    QVERIFY(FailsNamingPattern("100%", {}));
    QVERIFY(FailsNamingPattern("%-5", {I(1)}));
    QVERIFY(FailsNamingPattern("%1:", {I(1), I(2)}));
    // Absurd widths are refused rather than padding megabytes.
    QVERIFY(FailsNamingPattern("%99999999999s", {S("a")}));
    QVERIFY(FailsNamingPattern("%*s", {I(INT64_C(100000000)), S("a")}));
    QVERIFY(FailsNamingPattern("%*s", {I(INT64_C(-100000000)), S("a")}));
    QVERIFY(FailsNamingPattern("%*s", {I(INT64_MIN), S("a")}));
  }

  void patternTextIsNeverInterpreted() {
    // A text argument holding directives is copied as it is.
    QCOMPARE(F("%s", {S("%s%n%d")}), std::string("%s%n%d"));
    QCOMPARE(F("%s|%s", {S(""), S("x")}), std::string("|x"));
  }
};

QTEST_GUILESS_MAIN(TestFormatPattern)
#include "tst_formatpattern.moc"
