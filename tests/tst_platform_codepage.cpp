#include <QtTest>

#include "CodePage.h"
#include "MorvoError.h"
#include "NativeNames.h"
#include "TextCompare.h"

namespace {
std::string Utf16(std::initializer_list<unsigned> units) {
  std::string s;
  for (unsigned u : units) {
    s.push_back(static_cast<char>(u & 0xFF));
    s.push_back(static_cast<char>(u >> 8));
  }
  return s;
}
}  // namespace

class TestPlatformCodePage : public QObject {
  Q_OBJECT

 private slots:
  void namesAndAliasesInAnyCase() {
    for (const char* name :
         {"windows-1252", "WINDOWS-1252", "Cp1252", "iso-8859-1", "ISO-8859-15", "utf-8", "UTF-16le"})
      QVERIFY2(IsKnownCodePage(name), name);
    for (const char* name : {"", "xyz", "windows-99999"}) QVERIFY2(!IsKnownCodePage(name), name);
  }

  void unknownNamesFailBeforeDecoding() {
    for (const char* name : {"xyz", ""}) {
      try {
        DecodeToUtf8("abc", name);
        QFAIL("decoded with an unknown character set");
      } catch (const EMorvoError& e) {
        QCOMPARE(std::string(e.what()), "Unknown character set '" + std::string(name) + "'");
      }
    }
    QVERIFY_THROWS_EXCEPTION(EMorvoError, EncodeFromUtf8("abc", "xyz"));
  }

  void singleByteSetsDecodeEveryByte() {
    const std::string accents = "\xE4\xF6\xFC\xC9\x80\x9F";
    QCOMPARE(DecodeToUtf8(accents, "windows-1252"),
             std::string("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x89\xE2\x82\xAC\xC5\xB8"));
    QCOMPARE(DecodeToUtf8(accents, "CP1252"), DecodeToUtf8(accents, "windows-1252"));
    // Latin-1 has C1 controls where windows-1252 has the euro sign and friends.
    QCOMPARE(DecodeToUtf8("\x80\xE4", "ISO-8859-1"), std::string("\xC2\x80\xC3\xA4"));
    QCOMPARE(DecodeToUtf8("\xA4", "ISO-8859-15"), std::string("\xE2\x82\xAC"));
    // Long ASCII runs around the non-ASCII bytes, across block boundaries.
    const std::string ascii(37, 'x');
    QCOMPARE(DecodeToUtf8(ascii + "\xE9" + ascii + "\xE9", "windows-1252"), ascii + "\xC3\xA9" + ascii + "\xC3\xA9");
    QCOMPARE(DecodeToUtf8(std::string("a\0b", 3), "windows-1252"), std::string("a\0b", 3));
    QCOMPARE(DecodeToUtf8("", "windows-1252"), std::string());
  }

  void utf8InputIsKeptOrRepaired() {
    const std::string good = "plain \xC3\xA4 \xF0\x9F\x98\x80";
    QCOMPARE(DecodeToUtf8(good, "UTF-8"), good);
    QCOMPARE(DecodeToUtf8("a\xFF"
                          "b",
                          "utf8"),
             std::string("a\xEF\xBF\xBD"
                         "b"));
  }

  void utf16SurrogatesAndOddBytes() {
    // BOM stays; a pair is one four-byte character.
    QCOMPARE(Utf16LeToUtf8(Utf16({0xFEFF, 'A', 0xD83D, 0xDE00, 0xE9})), std::string("\xEF\xBB\xBF"
                                                                                    "A\xF0\x9F\x98\x80\xC3\xA9"));
    const std::string fffd = "\xEF\xBF\xBD";
    QCOMPARE(Utf16LeToUtf8(Utf16({'a', 0xDE00, 'b'})), "a" + fffd + "b");  // lone low half
    QCOMPARE(Utf16LeToUtf8(Utf16({'a', 0xD83D, 'b'})), "a" + fffd + "b");  // high half without its low
    QCOMPARE(Utf16LeToUtf8(Utf16({0xD83D, 0xD83D, 0xDE00})), fffd + "\xF0\x9F\x98\x80");
    QCOMPARE(Utf16LeToUtf8(Utf16({'a', 0xD83D})), "a" + fffd);               // cut after a high half
    QCOMPARE(Utf16LeToUtf8(Utf16({'o', 'k'}) + "\x41"), std::string("ok"));  // last odd byte dropped
    QCOMPARE(Utf16LeToUtf8("\x41"), std::string());
    QCOMPARE(Utf16LeToUtf8(Utf16({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF})),
             std::string("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"));
    // Through the named set, identical.
    const std::string mixed = Utf16({'l', 'o', 'n', 'g', 'e', 'r', ' ', 't', 'e', 'x', 't', 0x20AC, 0xD800});
    QCOMPARE(DecodeToUtf8(mixed, "UTF-16LE"), std::string("longer text\xE2\x82\xAC") + fffd);
    // Non-ASCII units inside and after runs of sixteen and more.
    std::string run;
    for (int k = 0; k < 20; ++k) run += Utf16({'x'});
    const std::string x20(20, 'x');
    QCOMPARE(Utf16LeToUtf8(run + Utf16({0xE9, 0xD83D, 0xDE00}) + run), x20 + "\xC3\xA9\xF0\x9F\x98\x80" + x20);
  }

  void wellFormedUtf8() {
    QVERIFY(IsValidUtf8(""));
    QVERIFY(IsValidUtf8("ascii only, longer than eight bytes"));
    QVERIFY(IsValidUtf8("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
    for (const char* bad :
         {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xF4\x90\x80\x80",
          "\xF5\x80\x80\x80", "\x80", "\xC3", "12345678\xE2\x82", "\xE2\x28\xA1"}) {
      QVERIFY2(!IsValidUtf8(bad), bad);
      // A file name of such bytes keeps them through its text and back.
      QCOMPARE(NativeFromName(NameFromNative(bad)), std::string(bad));
    }
    QCOMPARE(NameFromNative("\xC3\xA4\xF0\x9F\x98\x80"), QString::fromUtf8("\xC3\xA4\xF0\x9F\x98\x80"));
    QCOMPARE(ShownName(NameFromNative("caf\xE9 \x80")), QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC"));
  }

  void encodingBackToACodePage() {
    QCOMPARE(EncodeFromUtf8("\xC3\xA4x\xE2\x82\xAC", "windows-1252"), std::string("\xE4x\x80"));
    QCOMPARE(EncodeFromUtf8("\xD0\x96", "windows-1252"), std::string("?"));  // no Cyrillic in the set
    QCOMPARE(EncodeFromUtf8("\xC3\xA4", "UTF-16LE"), Utf16({0xE4}));
    const std::string name = SystemCodePageName();
    QVERIFY(IsKnownCodePage(name));
    QCOMPARE(SystemToUtf8(Utf8ToSystem("plain")), std::string("plain"));
  }

  void caseFoldingCoversAllOfUnicode() {
    QVERIFY(SameTextCI("MorvoObject.CFG", "morvoobject.cfg"));
    QVERIFY(SameTextCI("\xC3\x84PFEL", "\xC3\xA4pfel"));
    QVERIFY(SameTextCI("STRASSE",
                       "stra\xC3\x9F"
                       "e"));  // one letter folds to two
    QVERIFY(SameTextCI("", ""));
    QVERIFY(!SameTextCI("abc", "abcd"));
    QVERIFY(!SameTextCI("abc\xC3\xA4", "abc"));
    QVERIFY(!SameTextCI("a", "b"));
    QVERIFY(!SameTextCI("\xC3\xA4", "a"));  // accents count
    QVERIFY(SameTextCI("x\xFF", "X\xFF"));  // bytes that are not UTF-8 compare as they are
    QVERIFY(!SameTextCI("x\xFF", "x\xFE"));
    QCOMPARE(FoldCase("A\xC3\x84\xCE\xA3\xC3\x9F"), std::string("a\xC3\xA4\xCF\x83ss"));
    QCOMPARE(FoldCase("Key\xFFZ"), std::string("key\xFFz"));
  }

  void localeComparisonIgnoresCaseNotAccents() {
    QCOMPARE(CompareTextLocale("Apple", "aPPLE"), 0);
    QVERIFY(CompareTextLocale("a", "B") < 0);  // not the byte order, where "B" comes first
    QVERIFY(CompareTextLocale("B", "a") > 0);
    QVERIFY(CompareTextLocale("\xC3\xA4", "b") < 0);  // an accented a sorts with the a's
    QVERIFY(CompareTextLocale("e", "\xC3\xA9") != 0);
    QVERIFY(CompareTextLocale("item2", "item10") > 0);
    QVERIFY(CompareTextLocale("", "a") < 0);
    QCOMPARE(CompareTextLocale("", ""), 0);
  }
};

QTEST_GUILESS_MAIN(TestPlatformCodePage)
#include "tst_platform_codepage.moc"
