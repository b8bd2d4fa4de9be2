#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <set>

#include "AppPaths.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TestSupport.h"

namespace {

// Ten characters that the decoding never reads; the last one is where the
// text search starts.
const std::string kHead = "ABCDEFGHIJ";

// A stored line delimited by single quotes around the value field.
std::string Line(int id, const std::string& valueField) { return FormatId4(id) + " '" + valueField + "'"; }
// The plain layout: design value and runtime value, each in double quotes.
std::string Plain(const std::string& design, const std::string& runtime = {}) {
  return kHead + "\"" + design + "\" \"" + runtime + "\"";
}

void SetLines(TisMorvoObject& o, const std::vector<std::string>& lines) {
  o.FLines = lines;
  o.FPropIds.Clear();
  for (const std::string& l : lines) o.FPropIds.Append(StrToIntDef(l.substr(0, 4), -1));
}

std::unique_ptr<TLongIntArray> Ids(std::initializer_list<int> ids) {
  auto a = std::make_unique<TLongIntArray>();
  for (int id : ids) a->Append(id);
  a->Sort();
  return a;
}

std::string S(const char* s) { return s; }

// Records the id each hook call saw and answers for one property itself.
class THookedObject : public TisMorvoObject {
 public:
  std::string GetSpecialText(int& Id, const std::string&, const std::string& DesignValue) override {
    SeenIds.push_back(Id);
    return Id % 10000 == 300 ? "hook:" + DesignValue : std::string();
  }
  std::vector<int> SeenIds;
};

// Quotes its own way: every quoted text in capitals.
class TQuotingObject : public TisMorvoObject {
 public:
  std::string ExtractQuoted(const std::string& S, const std::string& Delim, int N) override {
    return UpperAscii(TisMorvoObject::ExtractQuoted(S, Delim, N));
  }
};

}  // namespace

class TestDecoding : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    const std::string folder = FDir.path().toStdString();
    QVERIFY(testsupport::WriteFileBytes(folder + "/MorvoObject.cfg",
                                        "[Settings]\r\n"
                                        "Runtimes=300\r\n"
                                        "[Specials]\r\n"
                                        "0191=One,Two,Three\r\n"
                                        "0192=One Two,Three\r\n"
                                        "0194=\"Not set\",\"A, B\",Z\r\n"));
    QVERIFY(testsupport::WriteFileBytes(folder + "/ObjectProperties.txt", "0300=Value\r\n"));
    SetExecutableFolderOverride(folder);
    gCfgIni.reset();
    gPropNameTable.reset();
  }
  void cleanupTestCase() {
    SetExecutableFolderOverride({});
    gCfgIni.reset();
  }
  void init() {
    gRuntimeIds.reset();
    gSpecialIds.reset();
    gMultiLineIds.reset();
    gIntValueIds.reset();
  }

  void designAndRuntimeValues() {
    TisMorvoObject o;
    SetLines(o, {Line(300, Plain("abc", "xyz")), Line(301, kHead + "\"abc\" #x y#")});
    gRuntimeIds = Ids({300, 301});
    QCOMPARE(o.GetPropertyText(300), S("abc"));
    QCOMPARE(o.GetPropertyText(10300), S("xyz"));
    // the runtime value is enclosed by whatever character opens its part
    QCOMPARE(o.GetPropertyText(10301), S("x y"));
    gRuntimeIds = Ids({301});
    QCOMPARE(o.GetPropertyText(10300), S("abc"));
    // no such property, negative id
    QCOMPARE(o.GetPropertyText(302), S(""));
    QCOMPARE(o.GetPropertyText(10302), S(""));
    QCOMPARE(o.GetPropertyText(-300), S(""));
  }

  void doubledDelimitersInsideValues() {
    TisMorvoObject o;
    // a doubled quote inside the design value must not shift the runtime part
    SetLines(o, {Line(300, Plain("a\"\"b", "rt")),
                 // a doubled line delimiter inside the value field stands for one
                 FormatId4(310) + " '" + kHead + "\"it''s\" \"run''s\"'"});
    gRuntimeIds = Ids({300, 310});
    QCOMPARE(o.GetPropertyText(300), S("a\"b"));
    QCOMPARE(o.GetPropertyText(10300), S("rt"));
    QCOMPARE(o.GetPropertyText(310), S("it's"));
    QCOMPARE(o.GetPropertyText(10310), S("run's"));
  }

  void shortAndUnclosedValuesGiveEmptyParts() {
    TisMorvoObject o;
    SetLines(o, {Line(300, "short"), Line(301, kHead + "\"open"), FormatId4(302), FormatId4(303) + " 'unclosed"});
    gRuntimeIds = Ids({300, 301});
    gIntValueIds = Ids({302});
    for (int id : {300, 301, 302, 303, 10300, 10301}) QCOMPARE(o.GetPropertyText(id), S(""));
  }

  void codedValuesAreNamedFromTheConfiguration() {
    TisMorvoObject o;
    SetLines(o, {Line(191, kHead + "2   "), FormatId4(191) + " '" + kHead + "3   '", Line(192, kHead + "2   rest"),
                 Line(193, kHead + "1   "), Line(194, kHead + "1   ")});
    // The second 191 line is only reachable by decoding it directly.
    gSpecialIds = Ids({191, 192, 193, 194});
    QCOMPARE(o.GetPropertyText(191), S("Three"));
    QCOMPARE(o.DecodeLine(191, o.FLines[1]), S("Code 3 for property 191 is invalid"));
    QCOMPARE(o.GetPropertyText(192), S("Three"));                               // an unquoted blank separates names too
    QCOMPARE(o.GetPropertyText(193), S("Code 1 for property 193 is invalid"));  // no names at all
    QCOMPARE(o.GetPropertyText(194), S("A, B"));
    // a code field without a blank reads as code 0, and the error text, if
    // any, names an empty code
    QCOMPARE(LookupSpecial(191, "1000"), S("One"));
    QCOMPARE(LookupSpecial(193, "1000"), S("Code  for property 193 is invalid"));
    QCOMPARE(LookupSpecial(191, "x   "), S("One"));
    QCOMPARE(LookupSpecial(191, "-1  "), S("Code -1 for property 191 is invalid"));
  }

  void integerValues() {
    TisMorvoObject o;
    SetLines(o, {Line(250, kHead + "1234        \"zz\""), Line(251, kHead + "123456789012"), Line(252, kHead + "-7 ")});
    gIntValueIds = Ids({250, 251, 252});
    QCOMPARE(o.GetPropertyText(250), S("1234"));
    QCOMPARE(o.GetPropertyText(251), S(""));  // no blank within twelve characters
    QCOMPARE(o.GetPropertyText(252), S("-7"));
  }

  void multiLineValues() {
    TisMorvoObject o;
    SetLines(
        o, {Line(1100, kHead + "2 \"a\" \"b\""), Line(1101, kHead + "1000 \"a\""), Line(1102, kHead + "3 #a# #b#"),
            Line(1250, kHead + "2 \"a2\" \"b\""), Line(1350, kHead + "1 \"c\""), Line(1450, kHead + "2 \"a2\" \"b\"")});
    gMultiLineIds = Ids({1100, 1101, 1102});
    QCOMPARE(o.GetPropertyText(1100), S("a\r\nb\r\n"));
    QCOMPARE(o.GetPropertyText(1101), S(""));
    QCOMPARE(o.GetPropertyText(1102), S("a\r\nb\r\n\r\n"));  // missing lines stay empty
    QCOMPARE(o.DecodeLine(1100, Line(1100, kHead + "2 ")), S("\r\n\r\n"));
    // the condition groups are multi-line whether listed or not ...
    QCOMPARE(o.GetPropertyText(1250), S("a2\r\nb\r\n"));
    QCOMPARE(o.GetPropertyText(1350), S("c\r\n"));
    // ... the group after them is not: position 11 is then the delimiter
    QCOMPARE(o.GetPropertyText(1450), S(" \"a"));
    std::string twelve = "x";
    for (int i = 0; i < 12; ++i) twelve += "\r\n";
    QCOMPARE(o.GetMultiLineText(kHead + "12 'x'", "12  "), twelve);
  }

  void storedLineBreaks() {
    TisMorvoObject o;
    o.FName = "n\x02\x01m";
    SetLines(o, {Line(300, Plain("x\x02\x01y", "r\x02\x01s")), Line(1100, kHead + "1 \"p\x02\x01q\"")});
    gRuntimeIds = Ids({300});
    gMultiLineIds = Ids({1100});
    QCOMPARE(o.GetPropertyText(300), S("x\r\ny"));
    QCOMPARE(o.GetPropertyText(10300), S("r\r\ns"));
    QCOMPARE(o.GetPropertyText(1100), S("p\r\nq\r\n"));
    QCOMPARE(o.GetPropertyText(0), S("n\x02\x01m"));  // the caption is not decoded
  }

  void captionFillsNameAndGuid() {
    TisMorvoObject named;
    named.FName = "Name";
    named.FGUID = "G1";
    QCOMPARE(named.GetPropertyText(0), S("Name"));
    QCOMPARE(named.FGUID, S("G1"));

    TisMorvoObject keyed;
    keyed.FGUID = "G2";
    keyed.FTypeName = "TYPE_X";
    QCOMPARE(keyed.GetPropertyText(0), S("G2"));
    QCOMPARE(keyed.FName, S("G2"));

    TisMorvoObject bare;
    bare.FTypeName = "TYPE_X";
    QCOMPARE(bare.GetPropertyText(0), S("TYPE_X"));
    QCOMPARE(bare.FName, S("TYPE_X"));
    const QRegularExpression synthetic("^0:[0-9]+$");
    QVERIFY2(synthetic.match(QString::fromStdString(bare.FGUID)).hasMatch(), bare.FGUID.c_str());
    QVERIFY(bare.FGUID.size() >= 4);
    const std::string first = bare.FGUID;
    QCOMPARE(bare.GetPropertyText(0), S("TYPE_X"));
    QCOMPARE(bare.FGUID, first);  // given once

    // without name, GUID and type the caption stays empty, the GUID does not
    TisMorvoObject empty;
    QCOMPARE(empty.GetPropertyText(0), S(""));
    QVERIFY(StartsWith(empty.FGUID, "0:"));
  }

  void syntheticGuidsDifferBetweenObjects() {
    std::set<std::string> seen;
    for (int i = 0; i < 5000; ++i) {
      TisMorvoObject o;
      o.GetPropertyText(0);
      QVERIFY(seen.insert(o.FGUID).second);
    }
  }

  void subclassHookComesFirst() {
    THookedObject o;
    SetLines(o, {Line(300, Plain("d", "r")), Line(301, Plain("plain"))});
    gRuntimeIds = Ids({300});
    gMultiLineIds = Ids({300});
    QCOMPARE(o.GetPropertyText(300), S("hook:d"));
    QCOMPARE(o.GetPropertyText(301), S("plain"));
    // the runtime step still replaces what the hook gave
    QCOMPARE(o.GetPropertyText(10300), S("r"));
    QCOMPARE(o.SeenIds, (std::vector<int>{300, 301, 10300}));
    // a class of its own quotes value field, design and runtime value itself
    TQuotingObject q;
    SetLines(q, {Line(300, Plain("d", "r"))});
    gMultiLineIds.reset();
    QCOMPARE(q.GetPropertyText(300), S("D"));
    QCOMPARE(q.GetPropertyText(10300), S("R"));
  }

  void decodeLineReadsTheGivenLine() {
    TisMorvoObject o;
    // reading order, not sorted: the reader decodes a specific line
    SetLines(o, {Line(1250, kHead + "1 \"z\""), Line(300, Plain("first")), Line(300, Plain("second"))});
    gRuntimeIds = Ids({300});
    QCOMPARE(o.DecodeLine(300, o.FLines[2]), S("second"));
    QCOMPARE(o.DecodeLine(10300, Line(300, Plain("d", "rt"))), S("rt"));
    QCOMPARE(o.DecodeLine(1250, o.FLines[0]), S("z\r\n"));
    QCOMPARE(o.GetPropertyText(300), S("first"));
    QCOMPARE(o.GetPropertyText(1250), S("z\r\n"));
  }

  void idLists() {
    auto items = [](const std::string& text) { return ParseIdList(text).CommaText(); };
    QCOMPARE(items("12,3"), S("12,3"));
    QCOMPARE(items("5"), S("5"));
    QCOMPARE(items(",7"), S("0,7"));
    QCOMPARE(items("7,"), S("7"));
    QCOMPARE(items("1,,2"), S("1,0,2"));
    QCOMPARE(items(" -4,+2"), S("-4,2"));
    QCOMPARE(items("x14,$14,0x14"), S("20,20,20"));
    QCOMPARE(items(""), S(""));
    QCOMPARE(items(","), S("0"));
    for (const auto& [text, bad] : std::vector<std::pair<std::string, std::string>>{
             {"1,x", "x"}, {"7 ,8", "7 "}, {"338 339", "338 339"}, {"1;2", "1;2"}}) {
      try {
        ParseIdList(text);
        QFAIL(("accepted " + text).c_str());
      } catch (const EMorvoError& e) {
        QCOMPARE(S(e.what()), "'" + bad + "' is not a valid integer value");
      }
    }
  }

  void commaText() {
    auto joined = [](const std::string& text) {
      std::string r;
      for (const std::string& item : SplitCommaText(text)) r += "[" + item + "]";
      return r;
    };
    QCOMPARE(joined("One Two,Three"), S("[One][Two][Three]"));
    QCOMPARE(joined("  a  ,  b  "), S("[a][b]"));
    QCOMPARE(joined("\"A, B\" C"), S("[A, B][C]"));
    QCOMPARE(joined("\"say \"\"hi\"\"\",x"), S("[say \"hi\"][x]"));
    QCOMPARE(joined("a,"), S("[a][]"));
    QCOMPARE(joined("a, "), S("[a]"));
    QCOMPARE(joined("a,,b"), S("[a][][b]"));
    QCOMPARE(joined(",,"), S("[][][]"));
    QCOMPARE(joined("\"open"), S("[open]"));
    QCOMPARE(joined("\"open\"\""), S("[open\"]"));
    QCOMPARE(joined(""), S(""));
    QCOMPARE(joined("   "), S(""));
  }

  void textSearchSkipsTheIdAndHead() {
    TisMorvoObject o;
    SetLines(o, {Line(300, Plain("Needle \xC3\xA4")), Line(12, "x")});
    QVERIFY(!o.ContainsText("0300", false));
    QVERIFY(!o.ContainsText("IJ", true));   // the I is character 15
    QVERIFY(o.ContainsText("J\"N", true));  // character 16 is the first one searched
    QVERIFY(o.ContainsText("needle", false));
    QVERIFY(!o.ContainsText("needle", true));
    QVERIFY(o.ContainsText("Needle", true));
    QVERIFY(!o.ContainsText("NEEDLE \xC3\x84", false));  // only a to z change case
    QVERIFY(o.ContainsText("NEEDLE \xC3\xA4", false));
    QVERIFY(!o.ContainsText("", false));
    QVERIFY(!o.ContainsText("0012", true));
    SetLines(o, {"0013 |ABCDEFGHIz"});  // sixteen characters, the last one searched
    QVERIFY(o.ContainsText("Z", false));
  }

  void collectingValuesOverAllObjects() {
    gAllObjects = std::make_unique<TAllObjectList>();
    auto* a = new TisMorvoObject;
    SetLines(*a, {Line(300, Plain("a300")), Line(301, Plain("a301"))});
    auto* b = new TisMorvoObject;
    SetLines(*b, {Line(300, Plain("")), Line(301, Plain("a301")), Line(302, Plain("l1\x02\x01l2"))});
    gAllObjects->Append("A", a);
    gAllObjects->Append("none", nullptr);
    gAllObjects->Append("B", b);
    QCOMPARE(CollectPropertyValues({301, 300, 302}), S("a301\r\na300\r\na301\r\nl1\r\nl2\r\n"));
    QCOMPARE(CollectPropertyValues({}), S(""));
    gAllObjects.reset();
    QCOMPARE(CollectPropertyValues({300}), S(""));
  }

  void collectingShownValuesOfOneType() {
    gAllObjects = std::make_unique<TAllObjectList>();
    auto* a = new TisMorvoObject;
    a->FTypeNr = 903;
    a->FGUID = "GA";
    SetLines(*a, {Line(300, Plain(" one ")), Line(301, Plain(" two"))});
    auto* other = new TisMorvoObject;
    other->FTypeNr = 501;
    other->FGUID = "GO";
    SetLines(*other, {Line(300, Plain("never"))});
    auto* b = new TisMorvoObject;
    b->FTypeNr = 903;
    b->FGUID = "GB";
    SetLines(*b, {Line(300, Plain("three"))});
    gAllObjects->Append("GA", a);
    gAllObjects->Append("GO", other);
    gAllObjects->Append("GB", b);
    SetExtraFields("");
    SetFieldFilter("*");
    SetViewMode(1);
    gPropValues[0] = ".xXx.";
    QCOMPARE(CollectObjectValues(903), S("one\r two\rthree"));
    QCOMPARE(gPropValues[0], S("GB"));
    QCOMPARE(CollectObjectValues(902), S(""));
    gAllObjects.reset();
    gFieldFilter.reset();
    gExtraFieldIds.reset();
    SetViewMode(0);
  }
};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
