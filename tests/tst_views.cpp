#include <QtTest>
#include <memory>

#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"

namespace {

const std::string kHead = "ABCDEFGHIJ";

// A stored line with a design value and a runtime value.
std::string Prop(int id, const std::string& design, const std::string& runtime = {}) {
  return FormatId4(id) + " '" + kHead + "\"" + design + "\" \"" + runtime + "\"'";
}

std::string S(const char* s) { return s; }

// Names its properties itself (no definition files needed) and counts how
// often a value is decoded.
class TViewObject : public TisMorvoObject {
 public:
  explicit TViewObject(std::vector<std::string> lines, std::string guid = {}) {
    FGUID = std::move(guid);
    FLines = std::move(lines);
    for (const std::string_view l : FLines) FPropIds.Append(StrToIntDef(l.substr(0, 4), -1));
  }
  std::string GetPropertyText(int Id) override {
    ++Decodes;
    return TisMorvoObject::GetPropertyText(Id);
  }
  std::string GetPropertyName(int Id) override { return "P" + std::to_string(Id); }
  int Decodes = 0;
};

// Fills the arrays itself, as the external-files objects do.
class TSelfFillingObject : public TViewObject {
 public:
  using TViewObject::TViewObject;
  int FillSpecialProperties(TLongIntArray& Ids) override {
    SeenIds = Ids.CommaText();
    for (int i = 1; i <= 3; ++i) {
      gPropNames[static_cast<size_t>(i)] = "own" + std::to_string(i);
      gPropValues[static_cast<size_t>(i)] = "v" + std::to_string(i);
    }
    return 3;
  }
  std::string SeenIds;
};

// Widens the candidates, as the flow tools do.
class TWideningObject : public TViewObject {
 public:
  using TViewObject::TViewObject;
  int FillSpecialProperties(TLongIntArray& Ids) override {
    Ids.Append(601);
    return 0;
  }
};

void UseView(const std::string& mandatory, const std::string& fields, int mode) {
  SetExtraFields(mandatory);
  SetFieldFilter(fields);
  SetViewMode(mode);
  gPropValues[0] = ".xXx.";
}

// The shown entries as "name=value;..." for compact comparisons.
std::string Shown() {
  std::string r;
  const int count = StrToIntDef(gPropNames[0], -1);
  for (int i = 1; i <= count; ++i)
    r += gPropNames[static_cast<size_t>(i)] + "=" + gPropValues[static_cast<size_t>(i)] + ";";
  return r;
}

// Loads the arrays for o and then for an object of the base class with o's
// lines, which takes its texts without the virtual calls: o's entries when
// both show the same values.
std::string ShownAlsoByBase(TViewObject& o) {
  auto values = [] {
    std::string r;
    for (int i = 1; i <= StrToIntDef(gPropNames[0], -1); ++i) r += gPropValues[static_cast<size_t>(i)] + ";";
    return r;
  };
  o.LoadPropertyArrays();
  const std::string shown = Shown(), own = values();
  TisMorvoObject base;
  base.FGUID = o.FGUID + "base";
  base.FLines = o.FLines;
  base.FPropIds = o.FPropIds;
  base.LoadPropertyArrays();
  return values() == own ? shown : "the base class shows " + values();
}

std::string FilterText() {
  std::string r;
  for (const std::string& item : *gFieldFilter) r += item + ",";
  return r;
}

std::unique_ptr<TLongIntArray> Ids(std::initializer_list<int> ids) {
  auto a = std::make_unique<TLongIntArray>();
  for (int id : ids) a->Append(id);
  a->Sort();
  return a;
}

}  // namespace

class TestViews : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    gFieldFilter.reset();
    gExtraFieldIds.reset();
    gRuntimeIds = Ids({338, 339});
    gSpecialIds.reset();
    gMultiLineIds.reset();
    gIntValueIds.reset();
    SetViewMode(0);
    gPropValues[0] = ".xXx.";
    gPropArraysObject = nullptr;
  }
  void cleanupTestCase() { gRuntimeIds.reset(); }

  void allFieldsWithMandatoryFallback() {
    TViewObject o({Prop(300, "a"), Prop(338, "", "x"), Prop(339, "", "y")}, "G");
    UseView("338", "*", 1);
    QCOMPARE(FilterText(), S("*,"));  // mandatory ids do not narrow "all fields"
    o.LoadPropertyArrays();
    // 339 has no design value and is not mandatory; 338 falls back to its runtime value
    QCOMPARE(Shown(), S("P300=a;P338=x;"));
    QCOMPARE(gPropValues[0], S("G"));

    TViewObject without({Prop(300, "a")}, "H");
    without.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=a;"));
  }

  void noFieldsShowNothingButRuntimesInModeTwo() {
    TViewObject o({Prop(300, "a"), Prop(338, "d", "r"), Prop(340, "e")}, "G");
    gRuntimeIds = Ids({338, 999});
    UseView("", "", 0);
    o.LoadPropertyArrays();
    QCOMPARE(gPropNames[0], S("0"));
    UseView("", "", 2);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P338=r;"));
    UseView("", "", 3);  // other modes do not add the runtime ids
    o.LoadPropertyArrays();
    QCOMPARE(gPropNames[0], S("0"));
    // no view set at all: every property
    gFieldFilter.reset();
    gPropValues[0] = ".xXx.";
    SetViewMode(1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=a;P338=d;P340=e;"));
    QCOMPARE(FilterText(), S("*,"));
  }

  void fieldListsAreReadAsCommaText() {
    TViewObject o({Prop(300, "a"), Prop(338, "b"), Prop(339, "c"), Prop(340, "d")}, "G");
    gRuntimeIds.reset();
    UseView("", "338 339", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P338=b;P339=c;"));
    UseView("338", "339,338, 338,\"300\",,", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=a;P338=b;P339=c;"));
    // an id the object lacks, and "*" among ids, select nothing
    UseView("", "*,340 777", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P340=d;"));
    UseView("", " , * ,", 1);
    QCOMPARE(FilterText(), S("*,"));
  }

  void mandatoryIdsJoinAnExistingFilter() {
    UseView("", "300", 0);
    SetExtraFields("5,338");
    QCOMPARE(FilterText(), S("300,338,5,"));
    SetFieldFilter("*");
    SetExtraFields("7");
    QCOMPARE(FilterText(), S("*,"));
    SetFieldFilter("1");
    QCOMPARE(FilterText(), S("1,7,"));
  }

  void badIdsFailAndKeepTheView() {
    UseView("338", "300", 0);
    try {
      SetFieldFilter("301,abc");
      QFAIL("accepted a letter");
    } catch (const EMorvoError& e) {
      QCOMPARE(S(e.what()), S("'abc' is not a valid integer value"));
    }
    QCOMPARE(FilterText(), S("300,338,"));
    QVERIFY_THROWS_EXCEPTION(EMorvoError, SetExtraFields("1,x"));
    QVERIFY_THROWS_EXCEPTION(EMorvoError, SetExtraFields("338 339"));  // no blanks here
  }

  void viewModes() {
    // 338: runtime-listed, design empty, runtime x; 339: runtime-listed,
    // runtime empty, design y; 340: not listed, design z.
    TViewObject o({Prop(338, "", "x"), Prop(339, "y", ""), Prop(340, "z", "ignored")}, "G");
    UseView("", "338,339,340", 1);
    QCOMPARE(ShownAlsoByBase(o), S("P339=y;P340=z;"));
    UseView("338", "338,339,340", 1);
    QCOMPARE(ShownAlsoByBase(o), S("P338=x;P339=y;P340=z;"));
    UseView("", "338,339,340", 2);
    QCOMPARE(ShownAlsoByBase(o), S("P338=x;P340=z;"));
    UseView("339", "338,339,340", 2);
    QCOMPARE(ShownAlsoByBase(o), S("P338=x;P339=y;P340=z;"));
    UseView("", "338,339,340", 0);
    QCOMPARE(ShownAlsoByBase(o), S("P338=x;P339=y;P340=z;"));
    UseView("", "338,339,340", 7);
    QCOMPARE(ShownAlsoByBase(o), S("P338=x;P340=z;"));
  }

  void blanksAreTrimmed() {
    TViewObject o({Prop(300, "   "), Prop(301, " a  "), Prop(338, " b ", " ")}, "G");
    UseView("", "*", 0);
    // leading blanks stay, except where mode 0 falls back to the design value
    QCOMPARE(ShownAlsoByBase(o), S("P301= a;P338=b;"));
    UseView("", "*", 1);
    QCOMPARE(ShownAlsoByBase(o), S("P301= a;P338= b;"));
  }

  void atMostOneHundredProperties() {
    std::vector<std::string> lines;
    for (int id = 101; id <= 250; ++id) lines.push_back(Prop(id, "v" + std::to_string(id)));
    TViewObject o(lines, "G");
    UseView("", "*", 1);
    o.LoadPropertyArrays();
    QCOMPARE(gPropNames[0], S("100"));
    QCOMPARE(gPropNames[1], S("P101"));
    QCOMPARE(gPropValues[100], S("v200"));
  }

  void theSameObjectIsFilledOnce() {
    TViewObject a({Prop(300, "a")}, "GA");
    TViewObject b({Prop(300, "b")}, "GB");
    UseView("", "*", 1);
    a.LoadPropertyArrays();
    const int first = a.Decodes;
    QVERIFY(first > 0);
    a.LoadPropertyArrays();
    QCOMPARE(a.Decodes, first);
    b.LoadPropertyArrays();
    a.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=a;"));
    const int second = a.Decodes;
    QVERIFY(second > first);
    gPropValues[0] = ".xXx.";  // what the main window writes after a tree fill
    a.LoadPropertyArrays();
    QVERIFY(a.Decodes > second);
  }

  void objectsWithoutGuidDoNotShareArrays() {
    TViewObject a({Prop(300, "a")});
    TViewObject b({Prop(300, "b")});
    UseView("", "*", 1);
    a.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=a;"));
    b.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=b;"));
    QCOMPARE(gPropValues[0], S(""));
  }

  void repeatedStoredIds() {
    TViewObject o({Prop(300, "first"), Prop(300, "second"), Prop(301, "x")}, "G");
    UseView("", "*", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=first;P300=first;P301=x;"));
    UseView("", "300,301", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P300=first;P301=x;"));
  }

  void runtimeValueBehindADoubledDelimiter() {
    TViewObject o({Prop(338, "say \"\"hi\"\"", "later")}, "G");
    UseView("", "338", 1);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P338=say \"hi\";"));
    UseView("", "338", 2);
    o.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P338=later;"));
  }

  void subclassHooks() {
    TSelfFillingObject own({Prop(300, "a"), Prop(301, "b")}, "GS");
    UseView("", "301,302", 1);
    own.LoadPropertyArrays();
    QCOMPARE(own.SeenIds, S("-1,301"));  // the missing id comes as -1
    QCOMPARE(Shown(), S("own1=v1;own2=v2;own3=v3;"));
    QCOMPARE(gPropValues[0], S("GS"));
    QCOMPARE(own.Decodes, 0);

    TWideningObject wide({Prop(600, "c1"), Prop(601, "c2")}, "GW");
    UseView("", "600", 1);
    wide.LoadPropertyArrays();
    QCOMPARE(Shown(), S("P600=c1;P601=c2;"));
  }

  void sortUniqueIds() {
    TLongIntArray ids;
    for (int id : {5, 3, 5, -1, 5, 1, -1}) ids.Append(id);
    SortUniqueIds(ids);
    QCOMPARE(ids.CommaText(), S("-1,-1,1,3,5,-1,-1"));
  }
};

QTEST_GUILESS_MAIN(TestViews)
#include "tst_views.moc"
