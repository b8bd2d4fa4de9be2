#include <QTemporaryDir>
#include <QtTest>
#include <set>

#include "Accessors.h"
#include "AppPaths.h"
#include "FactoryClasses.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TestSupport.h"

namespace {

const char* kTypeNumbers =
    "0010 INPUT_STRUCT_DATA\r\n"
    "0101 TRANS_TABLE\r\n"
    "0200 FORM\r\n"
    "0401 SEGMENT\r\n"
    "0402 SUBSEG\r\n"
    "0501 DOC_ELEMENT\r\n"
    "0701 CONNECTOR\r\n"
    "0801 IF_TOOL\r\n"
    "0802 OOMD_TOOL\r\n"
    "0803 OOML_TOOL\r\n"
    "0903 EXT_FILES\r\n"
    "1001 BASE_DOC\r\n";

const char* kPropertyNames =
    "0001=Name\r\n"
    "0010=Key\r\n"
    "0020=Note\r\n"
    "1101=Reference\r\n"
    "1102=Translations\r\n"
    "1103=Version\r\n"
    "1200=Condition base\r\n"
    "1201=Condition\r\n"
    "1301=Choice\r\n"
    "1401=List choice\r\n"
    "2010=Package key\r\n"
    "2101=Needed file\r\n"
    "2102=Needed format\r\n"
    "FORM=Form\r\n"
    "DOC_ELEMENT=Element\r\n"
    "CONNECTOR=Connector\r\n"
    "EXT_FILES=Needed files\r\n";

const char* kConfig =
    "[Settings]\r\n"
    "Specials=191,192,209,310,358,469\r\n"
    "MultiLine=1102\r\n"
    "[Specials]\r\n"
    "0191=No,Yes\r\n"
    "0192=No,Yes\r\n"
    "0209=Plain,Sub\r\n"
    "0310=None,Left,Right\r\n"
    "0358=Off,On,Twin\r\n"
    "0469=A,B,C,D,E\r\n"
    "[Translations]\r\n"
    "ExternalFile=outside the load\r\n";

const char* kDefaultFirstLine = "#Version 5.2.1 build 7";

// A property line in the coded layout: a ten-character head, then the code.
std::string Coded(int id, int code) { return FormatId4(id) + " ;coded     " + std::to_string(code) + " ;"; }

// The key line as object files write it: a ten-character head, then the GUID in quotes.
std::string Key(const std::string& guid) { return "0010 ;Key       \"" + guid + "\";"; }
// A plain property line whose design value is Text.
std::string Plain(int id, const std::string& text) { return FormatId4(id) + " ;plain     '" + text + "';"; }

std::string Header(const std::string& type, const std::string& name) {
  return "OBJECT TYPE=\"" + type + "\" NAME=\"" + name + "\" DELIM=;";
}

// A block: header, body lines, closing brace.
std::string Block(const std::string& type, const std::string& name, const std::vector<std::string>& body) {
  std::string s = Header(type, name) + "\r\n";
  for (const auto& line : body) s += line + "\r\n";
  return s + "}\r\n";
}

using TShown = std::vector<std::pair<std::string, std::string>>;

}  // namespace

class TestSpecials : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  std::string FFolder;
  int FFileNo = 0;

  void WriteConfig(const std::string& config) {
    QVERIFY(testsupport::WriteFileBytes(FFolder + "MorvoObject.cfg", config));
  }

  // Reads an object file made of FirstLine, a filler line, the marker and Blocks.
  int Load(const std::string& blocks, const std::string& firstLine = kDefaultFirstLine) {
    FreeAllObjects();
    const std::string path = FFolder + "objects" + std::to_string(++FFileNo) + ".obj";
    testsupport::WriteFileBytes(path, firstLine + "\r\nmade by the tests\r\n!!EndOfControl\r\n" + blocks);
    return ReadObjectFile(path);
  }

  static TisMorvoObject* Find(const std::string& guid) {
    if (!gAllObjects) return nullptr;
    for (const auto& e : gAllObjects->Entries())
      if (e.Object && e.Object->FGUID == guid) return e.Object;
    return nullptr;
  }

  static void SetView(const std::string& fields, const std::string& mandatory = "", int mode = 0) {
    SetExtraFields(mandatory);
    SetFieldFilter(fields);
    SetViewMode(mode);
    gPropValues[0] = ".xXx.";
    gPropArraysObject = nullptr;
  }

  static TShown Shown(TisMorvoObject* o) {
    gPropValues[0] = ".xXx.";
    gPropArraysObject = nullptr;
    o->LoadPropertyArrays();
    TShown r;
    const int n = StrToIntDef(gPropNames[0], 0);
    for (int i = 1; i <= n; ++i)
      r.emplace_back(gPropNames[static_cast<size_t>(i)], gPropValues[static_cast<size_t>(i)]);
    return r;
  }

  static int CountLinesWithId(TisMorvoObject* o, int id) {
    int n = 0;
    for (int i = 0; i < o->FPropIds.Count(); ++i)
      if (o->FPropIds[i] == id) ++n;
    return n;
  }

  static int CountIdsInGroup(TisMorvoObject* o, int group) {
    int n = 0;
    for (int id : o->FPropIds.Items())
      if (id / 100 == group) ++n;
    return n;
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    FFolder = FDir.path().toStdString() + "/";
    QVERIFY(testsupport::WriteFileBytes(FFolder + "ObjectTypNum.txt", kTypeNumbers));
    QVERIFY(testsupport::WriteFileBytes(FFolder + "ObjectProperties.txt", kPropertyNames));
    WriteConfig(kConfig);
    SetExecutableFolderOverride(FFolder);
  }
  void init() { WriteConfig(kConfig); }
  void cleanupTestCase() {
    FreeAllObjects();
    SetExecutableFolderOverride("");
  }

  // ---- flow tools ---------------------------------------------------------

  void ifConditionsGetIdsOfTheirOwnAndShowTwoParts() {
    QVERIFY(Load(Block("IF_TOOL", "Check",
                       {Key("IF-1"), ";Cnd ABC\"x = 1\" \"then\";", ";Cnd ABC\"y = 2\" \"else\";"})) > 0);
    TisMorvoObject* o = Find("IF-1");
    QVERIFY(o);
    QCOMPARE(o->FPropIds.CommaText(), std::string("10,1201,1202"));
    // The marker of the If tool is twelve characters: head, count 2, blank.
    QCOMPARE(o->FLines[1], std::string("1201 ;If Condit 2 \"x = 1\" \"then\";"));
    // The last condition is also the block's last line: it is converted once.
    QCOMPARE(CountIdsInGroup(o, 12), 2);
    QCOMPARE(CountLinesWithId(o, 0), 0);

    SetView("*");
    const TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(3));
    QCOMPARE(shown[1], std::make_pair(std::string("Condition"), std::string("x = 1\r\nthen")));
    QCOMPARE(shown[2], std::make_pair(std::string("Condition"), std::string("y = 2\r\nelse")));
  }

  void conditionWithoutQuotedPartTakesTheBaseId() {
    QVERIFY(Load(Block("IF_TOOL", "Bare", {Key("IF-2"), ";Cnd ABC'p' 'q';", Plain(20, "end")})) > 0);
    TisMorvoObject* o = Find("IF-2");
    QVERIFY(o);
    QCOMPARE(CountLinesWithId(o, 1200), 1);
    QCOMPARE(CountLinesWithId(o, 1201), 0);
    // The base id keeps its own name; every id above it is named like 1201.
    QCOMPARE(o->GetPropertyName(1200), std::string("Condition base"));
    QCOMPARE(o->GetPropertyName(1202), std::string("Condition"));
    QCOMPARE(o->GetPropertyName(1250), std::string("Condition"));
    QCOMPARE(o->GetPropertyName(11201), std::string("Condition"));
    QCOMPARE(o->GetPropertyName(20), std::string("Note"));
  }

  void viewListingTheFirstConditionWidensToAll() {
    QVERIFY(Load(Block(
                "IF_TOOL", "Check",
                {Key("IF-1"), ";Cnd ABC\"x = 1\" \"then\";", ";Cnd ABC\"y = 2\" \"else\";", Plain(20, "note")})) > 0);
    TisMorvoObject* o = Find("IF-1");
    QVERIFY(o);

    SetView("1201");
    TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[0].second, std::string("x = 1\r\nthen"));
    QCOMPARE(shown[1].second, std::string("y = 2\r\nelse"));
    // The widening stays in the view's filter until the next view is set.
    QVERIFY(gFieldFilter);
    QVERIFY(std::find(gFieldFilter->begin(), gFieldFilter->end(), "1202") != gFieldFilter->end());
    QVERIFY(std::is_sorted(gFieldFilter->begin(), gFieldFilter->end()));

    SetView("20");
    shown = Shown(o);
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(shown[0].first, std::string("Note"));

    // The all-fields view gains no ids from the widening.
    SetView("*");
    Shown(o);
    QCOMPARE(gFieldFilter->size(), size_t(1));
  }

  void oomdShowsItsTargetByNameAndTypeAndTheKeyOnlyInTheAllFieldsView() {
    const std::string blocks = Block("FORM", "Target form", {Key("FORM-1")}) +
                               Block("OOMD_TOOL", "Pick",
                                     {Key("OOMD-1"), ";Cnd AB \"x = 1\" \"written name\" \"form-1\";",
                                      ";Cnd AB \"y = 2\" \"kept name\" \"NO-SUCH\";"});
    QVERIFY(Load(blocks) > 0);
    TisMorvoObject* o = Find("OOMD-1");
    QVERIFY(o);
    QCOMPARE(o->FPropIds.CommaText(), std::string("10,1301,1302"));
    // Eleven characters: the blank after the count is the condition's own.
    QCOMPARE(o->FLines[1], std::string("1301 ;OoM Cond  3 \"x = 1\" \"written name\" \"form-1\";"));

    SetView("*");
    TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(3));
    QCOMPARE(shown[1], std::make_pair(std::string("Choice"), std::string("x = 1\r\nTarget form - Form\r\nform-1")));
    QCOMPARE(shown[2].second, std::string("y = 2\r\nkept name\r\nNO-SUCH"));

    SetView("1301");
    shown = Shown(o);
    QCOMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[0].second, std::string("x = 1\r\nTarget form - Form"));
    QCOMPARE(shown[1].second, std::string("y = 2\r\nkept name"));
  }

  void oomlConvertsOnlyAConditionThatComesFirst() {
    const std::string blocks =
        Block("OOML_TOOL", "List",
              {";'Cnd  \"x = 1\" \"T\" \"G\"'", Key("OOML-1"), ";'Cnd  \"y = 2\" \"T\" \"G\"'", Plain(20, "end")}) +
        Block("OOML_TOOL", "Short", {";'Cnd x'", Key("OOML-2"), Plain(20, "end")}) +
        Block("OOML_TOOL", "Only", {Key("OOML-3"), "0020 'x'", ";'Cnd  \"z\" \"T\" \"G\"';"}) +
        Block("OOML_TOOL", "Alone", {";'Cnd  \"z\" \"T\" \"G\"';"});
    QVERIFY(Load(blocks) > 0);

    TisMorvoObject* list = Find("OOML-1");
    QVERIFY(list);
    QCOMPARE(CountLinesWithId(list, 1401), 1);
    QCOMPARE(CountIdsInGroup(list, 14), 1);
    QCOMPARE(CountLinesWithId(list, 0), 1);  // the second condition stays unconverted
    QCOMPARE(list->FLines[list->IndexOfPropertyId(1401)], std::string("1401 'OoL Cond  3 \"x = 1\" \"T\" \"G\"' '"));
    SetView("*");
    const TShown shown = Shown(list);
    const auto it = std::find_if(shown.begin(), shown.end(), [](const auto& p) { return p.first == "List choice"; });
    QVERIFY(it != shown.end());
    QCOMPARE(it->second, std::string("x = 1\r\nT\r\nG"));

    // A source of fewer than eleven characters is dropped without trace.
    TisMorvoObject* shortOne = Find("OOML-2");
    QVERIFY(shortOne);
    QCOMPARE(shortOne->FPropIds.CommaText(), std::string("10,20"));

    // A condition after other lines stays an id-0 line; read again as the
    // block's last line it is not stored a second time.
    TisMorvoObject* only = Find("OOML-3");
    QVERIFY(only);
    QCOMPARE(CountIdsInGroup(only, 14), 0);
    QCOMPARE(CountLinesWithId(only, 0), 1);

    // A block whose one line is a condition converts it once and keeps no copy.
    const TisMorvoObject* alone = nullptr;
    for (const auto& e : gAllObjects->Entries())
      if (e.Object->FName == "Alone") alone = e.Object;
    QVERIFY(alone);
    QCOMPARE(alone->FLines.size(), size_t(1));
    QVERIFY(StartsWith(alone->FLines[0], "1401 "));
  }

  void oomlLengthRuleCountsCharactersNotBytes() {
    // Read from windows-1252, each accented letter is two bytes in memory.
    QVERIFY(Load(Block("OOML_TOOL", "Ten", {";'Cnd \"\xE9\xE9\"'", Key("OOML-4"), Plain(20, "end")}) +
                 Block("OOML_TOOL", "Eleven", {";'Cnd \"\xE9\xE9x\"'", Key("OOML-5"), Plain(20, "end")})) > 0);
    QCOMPARE(Find("OOML-4")->FPropIds.CommaText(), std::string("10,20"));
    QCOMPARE(Find("OOML-5")->FPropIds.CommaText(), std::string("10,20,1401"));
  }

  // ---- type refinement ----------------------------------------------------

  void documentElementRulesApplyInOrderWithThePlusOneStep() {
    const std::string blocks =
        Block("DOC_ELEMENT", "a", {Key("E-A"), "0105 ;x;", Coded(358, 2), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "b", {Key("E-B"), "0105 ;x;", Coded(358, 1), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "c", {Key("E-C"), Coded(191, 1), Coded(192, 1), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "d", {Key("E-D"), Coded(191, 1), Coded(192, 1), Coded(358, 2), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "e", {Key("E-E"), "0103 ;x;", "0112 ;x;", Plain(20, "end")}) +
        Block("DOC_ELEMENT", "f", {Key("E-F"), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "g", {Key("E-G"), Coded(358, 2), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "h", {Key("E-H"), Coded(191, 0), Coded(192, 1), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "i", {Key("E-I"), Coded(310, 2), "0388 ;x;", Plain(20, "end")}) +
        Block("DOC_ELEMENT", "j", {Key("E-J"), Coded(310, 2), Plain(20, "end")}) +
        Block("DOC_ELEMENT", "k", {Key("E-K"), Coded(310, 9), Plain(20, "end")});
    QVERIFY(Load(blocks) > 0);
    const std::vector<std::pair<const char*, int>> expected = {{"E-A", 556}, {"E-B", 555}, {"E-C", 513}, {"E-D", 514},
                                                               {"E-E", 550}, {"E-F", 510}, {"E-G", 511}, {"E-H", 512},
                                                               {"E-I", 514}, {"E-J", 557}, {"E-K", 510}};
    for (const auto& [guid, type] : expected) {
      TisMorvoObject* o = Find(guid);
      QVERIFY2(o, guid);
      QVERIFY2(o->GetTypeNumber() == type, (std::string(guid) + " is " + std::to_string(o->GetTypeNumber())).c_str());
      // Every result is cached, the 511 of an element without rule included.
      QCOMPARE(o->FTypeNr, type);
    }
    QCOMPARE(Find("E-G")->GetTypeNumberText(), std::string("0511"));
  }

  void everyElementRuleGivesItsNumberAndTheNextOneWithTwin() {
    // Each rule alone, then with property 358 at code 2; the numbers are the
    // shipped type table's element variants, so a slip in one shows here.
    const std::vector<std::pair<std::string, int>> rules = {
        {"0112 ;x;", 550}, {"0103 ;x;", 558}, {"0110 ;x;", 554},    {Coded(191, 1), 511}, {Coded(192, 1), 512},
        {"0105 ;x;", 555}, {"0109 ;x;", 552}, {"0107 ;x;", 563},    {"0108 ;x;", 559},    {"0335 ;x;", 560},
        {"0104 ;x;", 561}, {"0388 ;x;", 514}, {Coded(310, 1), 556}, {Coded(310, 2), 557}};
    std::string blocks;
    for (size_t i = 0; i < rules.size(); ++i) {
      blocks += Block("DOC_ELEMENT", "r", {Key("R-" + std::to_string(i)), rules[i].first, Plain(20, "e")});
      blocks +=
          Block("DOC_ELEMENT", "t", {Key("T-" + std::to_string(i)), rules[i].first, Coded(358, 2), Plain(20, "e")});
    }
    QVERIFY(Load(blocks) > 0);
    for (size_t i = 0; i < rules.size(); ++i) {
      TisMorvoObject* plain = Find("R-" + std::to_string(i));
      TisMorvoObject* twin = Find("T-" + std::to_string(i));
      QVERIFY(plain && twin);
      QVERIFY2(plain->GetTypeNumber() == rules[i].second, rules[i].first.c_str());
      QVERIFY2(twin->GetTypeNumber() == rules[i].second + 1, rules[i].first.c_str());
    }
  }

  void earlierRulesWinOverLaterOnes() {
    // Pairs of rules that both hold: the one earlier in the order decides.
    QVERIFY(Load(Block("DOC_ELEMENT", "a", {Key("W-1"), "0103 ;x;", "0110 ;x;", Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "b", {Key("W-2"), Coded(191, 1), "0105 ;x;", Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "c", {Key("W-3"), Coded(192, 1), "0112 ;x;", Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "d", {Key("W-4"), "0104 ;x;", "0335 ;x;", Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "e", {Key("W-5"), "0107 ;x;", "0108 ;x;", Plain(20, "e")})) > 0);
    QCOMPARE(Find("W-1")->GetTypeNumber(), 558);
    QCOMPARE(Find("W-2")->GetTypeNumber(), 511);
    QCOMPARE(Find("W-3")->GetTypeNumber(), 550);
    QCOMPARE(Find("W-4")->GetTypeNumber(), 560);
    QCOMPARE(Find("W-5")->GetTypeNumber(), 563);
  }

  void refinedNumbersWaitForTheEndOfTheRead() {
    // The reader asks the type number for every content line; asked then, the
    // element must not settle on 510 before its property 105 has been read.
    QVERIFY(Load(Block("DOC_ELEMENT", "late", {Key("E-L"), "0020 'x'", "0105 ;x;", "0030 'end'"}) +
                 Block("SEGMENT", "s", {Key("S-1"), Coded(209, 1), Plain(20, "end")}) +
                 Block("INPUT_STRUCT_DATA", "in", {Key("IN-1"), Coded(469, 2), Plain(20, "end")})) > 0);
    TisMorvoObject* e = Find("E-L");
    TisMorvoObject* s = Find("S-1");
    TisMorvoObject* in = Find("IN-1");
    QVERIFY(e && s && in);

    gLoading = true;
    QCOMPARE(e->GetTypeNumber(), 501);
    QCOMPARE(s->GetTypeNumber(), 401);
    QCOMPARE(in->GetTypeNumber(), 10);
    QCOMPARE(e->FTypeNr + s->FTypeNr + in->FTypeNr, 0);
    gLoading = false;

    QCOMPARE(e->GetTypeNumber(), 555);
    QCOMPARE(s->GetTypeNumber(), 402);
    QCOMPARE(in->GetTypeNumber(), 12);
  }

  void codeNamesFollowAnEditedConfiguration() {
    // Rewrites of the same size: each refinement must read the names as they are now.
    QVERIFY(Load(Block("SEGMENT", "a", {Key("S-A"), Coded(209, 0), Plain(20, "e")}) +
                 Block("SEGMENT", "b", {Key("S-B"), Coded(209, 0), Plain(20, "e")})) > 0);
    WriteConfig(ReplaceAll(kConfig, "0209=Plain,Sub", "0209=Aaa,Ccc"));
    QCOMPARE(Find("S-A")->GetTypeNumber(), 401);
    WriteConfig(ReplaceAll(kConfig, "0209=Plain,Sub", "0209=Aaa,Aaa"));
    QCOMPARE(Find("S-B")->GetTypeNumber(), 402);
  }

  void segmentsAndInputStructures() {
    QVERIFY(Load(Block("SUBSEG", "", {}) + Block("SEGMENT", "plain", {Key("S-2"), Coded(209, 0), Plain(20, "e")}) +
                 Block("INPUT_STRUCT_DATA", "a", {Key("IN-A"), Coded(469, 1), Plain(20, "e")}) +
                 Block("INPUT_STRUCT_DATA", "c", {Key("IN-C"), Coded(469, 3), Plain(20, "e")}) +
                 Block("INPUT_STRUCT_DATA", "d", {Key("IN-D"), Coded(469, 4), Plain(20, "e")})) > 0);
    // A segment block without any property line.
    TisMorvoObject* empty = nullptr;
    for (const auto& e : gAllObjects->Entries())
      if (e.Object->FTypeName == "SUBSEG") empty = e.Object;
    QVERIFY(empty);
    QCOMPARE(empty->FBaseTypeNr, 402);
    QVERIFY(empty->FLines.empty());
    QCOMPARE(empty->GetTypeNumber(), 401);
    QCOMPARE(Find("S-2")->GetTypeNumber(), 401);
    QCOMPARE(Find("IN-A")->GetTypeNumber(), 11);
    QCOMPARE(Find("IN-C")->GetTypeNumber(), 13);
    QCOMPARE(Find("IN-D")->GetTypeNumber(), 10);
  }

  void refinedNumberSurvivesConfigurationChangesAndEmptyNamesMatch() {
    QVERIFY(Load(Block("DOC_ELEMENT", "p", {Key("E-P"), Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "q", {Key("E-Q"), Plain(20, "e")})) > 0);
    QCOMPARE(Find("E-P")->GetTypeNumber(), 510);
    // With an empty name for code 1 of 310, a missing 310 reads as code 1.
    std::string config = kConfig;
    config = ReplaceAll(config, "0310=None,Left,Right", "0310=None,,Right");
    WriteConfig(config);
    QCOMPARE(Find("E-P")->GetTypeNumber(), 510);
    QCOMPARE(Find("E-Q")->GetTypeNumber(), 556);
  }

  void elementReferenceShowsNameTypeAndExternalText() {
    QVERIFY(Load(Block("FORM", "Target form", {Key("FORM-1")}) +
                 Block("DOC_ELEMENT", "r", {Key("E-R"), "0101 \"form-1\"", Plain(20, "e")}) +
                 Block("DOC_ELEMENT", "x", {Key("E-X"), "0101 \"elsewhere\"", Plain(20, "e")})) > 0);
    TisMorvoObject* r = Find("E-R");
    QVERIFY(r);
    QCOMPARE(CountLinesWithId(r, 101), 0);
    QCOMPARE(CountLinesWithId(r, 1101), 1);

    SetView("1101");
    QCOMPARE(r->GetPropertyText(1101), std::string("Target form : Form"));
    QCOMPARE(Find("E-X")->GetPropertyText(1101), std::string("outside the load"));
    SetView("*");
    QCOMPARE(r->GetPropertyText(1101), std::string("Target form : Form\r\nFORM-1"));
    QCOMPARE(r->GetPropertyText(11101), std::string("Target form : Form\r\nFORM-1"));
    QCOMPARE(Find("E-X")->GetPropertyText(1101), std::string("outside the load\r\nelsewhere"));
  }

  // The views decode a property once for its runtime and its design request,
  // which holds only while no class of the factory lets the design value or
  // the id steer its special text.
  void everyClassGivesItsSpecialTextWhateverTheDesignValue() {
    QVERIFY(Load(Block("FORM", "Target form", {Key("FORM-1")})) > 0);
    SetView("*");
    const char* fields[] = {"OoM Cond  3 \"x\" \"name\" \"form-1\"", "form-1", "elsewhere", ""};
    int specials = 0;
    VisitEveryClass(TFactoryClasses{}, [&]<class C>() {
      C object;
      for (const int id : {1, 20, 1101, 11101, 1201, 1301, 11301, 1401, 2101})
        for (const std::string field : fields) {
          int first = id, second = id;
          const std::string text = object.GetSpecialText(first, field, "one design");
          QCOMPARE(object.GetSpecialText(second, field, "another"), text);
          QVERIFY(first == id && second == id);
          specials += !text.empty();
        }
    });
    QVERIFY(specials >= 6);
  }

  // ---- external files -----------------------------------------------------

  void externalFileLinesMergeAndShowEveryPart() {
    QVERIFY(Load(Block("EXT_FILES", "",
                       {"0101 'a.fmt'", "0102 'c.dat' '' 'd.dat'", "0101 'b.seg'", "0010 '\"XF-1\"'"})) > 0);
    TisMorvoObject* o = Find("XF-1");
    QVERIFY(o);
    QCOMPARE(o->FName, std::string("Needed files"));
    QCOMPARE(CountLinesWithId(o, 101), 1);

    // The view's own fields play no part.
    SetView("338");
    const TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(3));
    // The last line, read twice by the reader, is merged once.
    QCOMPARE(shown[0], std::make_pair(std::string("Package key"), std::string("\"XF-1\"")));
    QCOMPARE(shown[1], std::make_pair(std::string("Needed file"), std::string("a.fmt\r\nb.seg")));
    QCOMPARE(shown[2], std::make_pair(std::string("Needed format"), std::string("c.dat")));
  }

  void externalFilePartsFollowTheQuotingRules() {
    QVERIFY(Load(Block("EXT_FILES", "q",
                       {"0010 '\"XF-3\"'", "0101 'it''s.fmt' 'b.seg'", "0102 'open.fmt' 'never closed''", "0103 ''",
                        "0020 'e'"})) > 0);
    TisMorvoObject* o = Find("XF-3");
    QVERIFY(o);
    SetView("*");
    const TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(5));
    // A doubled delimiter stands for one and does not end the part.
    QCOMPARE(shown[2].second, std::string("it's.fmt\r\nb.seg"));
    // A part that never closes ends the list; so does an empty first part.
    QCOMPARE(shown[3].second, std::string("open.fmt"));
    QCOMPARE(shown[4].second, std::string());
  }

  void externalFilesShowAtMostAHundredLines() {
    std::vector<std::string> body = {"0010 '\"XF-2\"'"};
    for (int id = 3001; id <= 3119; ++id) body.push_back(FormatId4(id) + " 'f" + std::to_string(id) + "'");
    QVERIFY(Load(Block("EXT_FILES", "big", body)) > 0);
    TisMorvoObject* o = Find("XF-2");
    QVERIFY(o);
    QCOMPARE(o->FLines.size(), size_t(120));
    SetView("*");
    const TShown shown = Shown(o);
    QCOMPARE(shown.size(), size_t(100));
    QCOMPARE(gPropNames[0], std::string("100"));
    QCOMPARE(shown[99], std::make_pair(std::string("5099"), std::string("f3099")));
  }

  // ---- connectors ---------------------------------------------------------

  void connectorTakesOverItsTargetAndForwardsProperties() {
    const std::string blocks =
        Block("DOC_ELEMENT", "O'Neil field", {Key("EL-1"), "0030 'own'"}) +
        Block("CONNECTOR", "el-1", {"0001 \"el-1\"", Key("CON-1"), "0105 ;x;", "0101 \"FORM-9\"", "0020 'fwd'"});
    QVERIFY(Load(blocks) > 0);
    auto* con = dynamic_cast<TisMorvoObject_PFC*>(Find("CON-1"));
    TisMorvoObject* el = Find("EL-1");
    QVERIFY(con && el);
    QCOMPARE(con->fConnectedObj, el);
    QCOMPARE(con->FName, std::string("Element : O'Neil field"));
    QCOMPARE(con->GetPropertyText(1), std::string("O'Neil field"));
    // The connected mark of property 10 came first: the GUID line is not stored.
    QCOMPARE(CountLinesWithId(con, 10), 1);
    QCOMPARE(con->GetPropertyText(10), std::string("el-1"));
    QCOMPARE(con->FGUID, std::string("CON-1"));

    // Forwarded under the target's own rules (101 becomes 1101), and sorted.
    QCOMPARE(el->FPropIds.CommaText(), std::string("10,20,30,105,1101"));
    QVERIFY(std::is_sorted(el->FPropIds.Items().begin(), el->FPropIds.Items().end()));
    QCOMPARE(el->GetTypeNumber(), 555);
  }

  void connectorPassesItsLastLineOnOnce() {
    QVERIFY(Load(Block("EXT_FILES", "Files", {"0010 '\"XF-5\"'", "0101 'a.fmt'"}) +
                 Block("CONNECTOR", "xf-5", {"0001 \"xf-5\"", Key("CON-5"), "0101 'b.seg'"})) > 0);
    TisMorvoObject* files = Find("XF-5");
    QVERIFY(files);
    QCOMPARE(files->FLines.size(), size_t(2));
    QCOMPARE(files->FLines[1], std::string("0101 'a.fmt' 'b.seg'"));
  }

  void connectorWithoutTargetKeepsItsProperties() {
    QVERIFY(Load(Block("CONNECTOR", "nobody", {Key("CON-2"), "0001 \"x\"", "0105 ;x;"}) +
                 Block("CONNECTOR", "it's", {"0001 \"it's\"", Key("CON-4")}) +
                 Block("CONNECTOR", "", {"0001 \"\"", Key("CON-3"), Plain(20, "e")})) > 0);
    auto* lone = dynamic_cast<TisMorvoObject_PFC*>(Find("CON-2"));
    QVERIFY(lone);
    QVERIFY(!lone->fConnectedObj);
    QCOMPARE(lone->FName, std::string("nobody"));
    QCOMPARE(CountLinesWithId(lone, 105), 1);
    // Its own GUID line came first and wins over the connected mark.
    QCOMPARE(lone->GetPropertyText(10), std::string("CON-2"));

    // The connected mark keeps the property-1 value as read, its quotes not doubled.
    TisMorvoObject* quoted = Find("CON-4");
    QVERIFY(quoted);
    QCOMPARE(quoted->FLines[static_cast<size_t>(quoted->IndexOfPropertyId(10))],
             std::string("0010 'Connected \"it's\"'"));

    auto* unnamed = dynamic_cast<TisMorvoObject_PFC*>(Find("CON-3"));
    QVERIFY(unnamed);
    QCOMPARE(unnamed->FName, std::string("Connector"));
    QCOMPARE(unnamed->GetPropertyText(1), std::string("Connector"));
  }

  // ---- translation tables -------------------------------------------------

  void translationEntriesAreFormatted() {
    const std::string fmt = "%3d_$%0:2x_->_%3d_$%1:2x";
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("  x 65 97 y ", fmt),
             std::string("065 $41 -> 097 $61"));
    // The second number must be followed by a blank: three words give -1.
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("x 65 97", fmt),
             std::string("065 $41 -> 0-1 $FFFFFFFF"));
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("x q 97 y", fmt),
             std::string("0-1 $FFFFFFFF -> 097 $61"));
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("single", fmt),
             std::string("0-1 $FFFFFFFF -> 0-1 $FFFFFFFF"));
  }

  void translationNumbersAreDecimalOnly() {
    const std::string fmt = "%3d_$%0:2x_->_%3d_$%1:2x";
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("x $41 0x61 y", fmt),
             std::string("0-1 $FFFFFFFF -> 0-1 $FFFFFFFF"));
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("x +7 -2 y", fmt),
             std::string("007 $07 -> 0-2 $FFFFFFFE"));
    QCOMPARE(TisMorvoObject_Translate_Table::FormatTranslationEntry("x 99999999999 5 y", fmt),
             std::string("0-1 $FFFFFFFF -> 005 $05"));
  }

  void translationListThatEndsTheBlockIsListedOnce() {
    // A ":"-list as the last line is read in the body and again at the end
    // of the block; the table shows its entries once.
    QVERIFY(Load(Block("TRANS_TABLE", "T", {Key("TT-4"), ":2 \"A 65 97 a\" \"B 66 98 b\";"})) > 0);
    TisMorvoObject* t = Find("TT-4");
    QVERIFY(t);
    QCOMPARE(CountLinesWithId(t, 1102), 1);
    SetView("*");
    const TShown shown = Shown(t);
    QCOMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[1],
             std::make_pair(std::string("Translations"), std::string("065 $41 -> 097 $61\r\n066 $42 -> 098 $62")));
  }

  void translationTableListBecomesOneProperty() {
    QVERIFY(Load(Block("TRANS_TABLE", "Upper", {Key("TT-1"), "3 \"A 65 97 a\" \"B 66 98 b\" \"C 67 q c\" ;"})) > 0);
    TisMorvoObject* t = Find("TT-1");
    QVERIFY(t);
    QVERIFY(t->FLinks.empty());
    QCOMPARE(CountLinesWithId(t, 1102), 1);
    QCOMPARE(t->GetPropertyText(1102),
             std::string("065 $41 -> 097 $61\r\n066 $42 -> 098 $62\r\n067 $43 -> 0-1 $FFFFFFFF\r\n"));
  }

  void translationFormatFromTheConfiguration() {
    WriteConfig(std::string(kConfig) + "TransTableFormat=%1:d_<_%0:d\r\n");
    QVERIFY(Load(Block("TRANS_TABLE", "T", {Key("TT-2"), "1 \"A 1 2 a\" ;"})) > 0);
    QCOMPARE(Find("TT-2")->GetPropertyText(1102), std::string("2 < 1\r\n"));

    // A pattern that does not fit two integers fails the read.
    WriteConfig(std::string(kConfig) + "TransTableFormat=%s\r\n");
    QVERIFY_THROWS_EXCEPTION(EMorvoError, Load(Block("TRANS_TABLE", "T", {Key("TT-3"), "1 \"A 1 2 a\" ;"})));
    QVERIFY(!gLoading);
  }

  // ---- base documents -----------------------------------------------------

  void baseDocumentsTakeTheVersionOfTheFirstLine() {
    const std::string docs = Block("BASE_DOC", "One", {Key("DOC-1")}) + Block("BASE_DOC", "Two", {Key("DOC-2")});
    QVERIFY(Load(docs) > 0);
    for (const char* guid : {"DOC-1", "DOC-2"}) {
      TisMorvoObject* d = Find(guid);
      QVERIFY(d);
      QCOMPARE(d->GetPropertyText(1103), std::string("5.2.1 buil"));
      QVERIFY(std::is_sorted(d->FPropIds.Items().begin(), d->FPropIds.Items().end()));
    }
    // Quotes in the version text do not cut it short.
    QVERIFY(Load(docs, "#Version \"7\" it's") > 0);
    QCOMPARE(Find("DOC-1")->GetPropertyText(1103), std::string("\"7\" it's"));
    QVERIFY(Load(docs, "#Version 1") > 0);
    QCOMPARE(Find("DOC-1")->GetPropertyText(1103), std::string("1"));
    // "Version" in the first column, or nowhere: no version property.
    QVERIFY(Load(docs, "Version 5.2.1 build 7") > 0);
    QCOMPARE(CountLinesWithId(Find("DOC-1"), 1103), 0);
    QVERIFY(Load(docs, "#release 5") > 0);
    QCOMPARE(CountLinesWithId(Find("DOC-1"), 1103), 0);
    // Ten characters, not ten bytes: no character is cut in half.
    QVERIFY(Load(docs, "#Version 5.2 b\xEAta \xE9t\xE9 final") > 0);  // windows-1252 in the file
    QCOMPARE(Find("DOC-1")->GetPropertyText(1103), std::string("5.2 b\xC3\xAAta \xC3\xA9"));
    // "Version" at the very end of the line gives an empty version.
    QVERIFY(Load(docs, "#Version") > 0);
    QCOMPARE(CountLinesWithId(Find("DOC-1"), 1103), 1);
    QCOMPARE(Find("DOC-1")->GetPropertyText(1103), std::string());
  }

  // ---- the shipped samples ------------------------------------------------

  // The samples hold an object of each special kind, and under every shipped
  // view each shows its own values, none of them twice.
  void samplesShowEverySpecialKind() {
    FreeAllObjects();  // also lets go of the test's own configuration file
    SetExecutableFolderOverride(testsupport::BinDir());
    const std::string folder = std::string(MORVO_SOURCE_DIR) + "/samples/";
    const TStringList views = SplitCommaText(ReadCfgString("Settings", "Views"));
    QVERIFY(views.size() >= 2);
    std::set<int> kinds;
    std::set<std::string> seen;
    for (const char* file : {"Invoice.dcl", "Lettre.seg", "Channels.chn"}) {
      FreeAllObjects();
      QVERIFY2(ReadObjectFile(folder + file) > 0, file);
      for (const std::string& view : views) {
        SetView(ReadCfgString(view, "Fields"), ReadCfgString(view, "MandatoryFields"),
                StrToIntDef(ReadCfgString(view, "Info"), 0));
        for (const auto& e : gAllObjects->Entries()) {
          TisMorvoObject* o = e.Object;
          const int base = o->FBaseTypeNr;
          if (!dynamic_cast<TisMorvoObject_FlowTool*>(o) && base != 10 && base != 101 && base / 100 != 4 &&
              base != 501 && base / 100 != 7 && base != 903 && base != 1001)
            continue;
          kinds.insert(base);
          const TShown shown = Shown(o);
          const std::set<std::pair<std::string, std::string>> distinct(shown.begin(), shown.end());
          QVERIFY2(distinct.size() == shown.size(), (view + ": " + o->FName).c_str());
          for (const auto& [name, value] : shown) seen.insert(o->FName + "|" + value);
        }
      }
    }
    for (int kind : {10, 101, 401, 402, 501, 701, 801, 802, 803, 903, 1001})
      QVERIFY2(kinds.count(kind), std::to_string(kind).c_str());

    const char* expected[] = {
        "Large amount?|Total > 1000\r\nAsk for a signature",
        "Large amount?|Total > 10000\r\nSend by registered mail",
        "Terms by language|Language = 'FR'\r\nPayment terms FR - Overlay segment",
        "Terms by language|Language = 'IT'\r\nItalian terms",
        "Item lines|Each invoice item\r\nItem table - Document element",
        "Invoice files|Invoice.fmt\r\nTotals.fmt",
        "Segment : Address block|Address block",
        "Payment slip code|Address block : Segment",
        "Invoice|4.20.0.118",
        "Accents fran\xC3\xA7"
        "ais|201 $C9 -> 144 $90\r\n232 $E8 -> 138 $8A\r\n0-1 $FFFFFFFF -> 0-1 $FFFFFFFF",
        "EBCDIC umlauts|192 $C0 -> 228 $E4\r\n208 $D0 -> 252 $FC",
    };
    for (const char* text : expected) QVERIFY2(seen.count(text), text);
    FreeAllObjects();
    SetExecutableFolderOverride(FFolder);
  }
};

QTEST_GUILESS_MAIN(TestSpecials)
#include "tst_specials.moc"
