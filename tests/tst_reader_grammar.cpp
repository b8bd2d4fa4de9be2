// The block and property-line grammar, driven on line lists in memory.
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <tuple>

#include "AppPaths.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TestSupport.h"
#include "TextCompare.h"

namespace {

const std::string Q = "\"";
std::string Quoted(const std::string& s) { return Q + s + Q; }

std::string Header(const std::string& type, const std::string& name = "N", const std::string& delim = ";") {
  return "OBJECT TYPE=" + Quoted(type) + " NAME=" + Quoted(name) + " DELIM=" + delim;
}

// An object whose type number is fixed, so the segment, document and link
// rules can be driven without the definition files deciding it.
std::unique_ptr<TisMorvoObject> Typed(int typeNr, const std::string& delim = ";") {
  auto o = std::make_unique<TisMorvoObject>();
  o->FTypeNr = typeNr;
  o->FDelim = delim;
  return o;
}

std::vector<std::string> Keys(const TObjectList& list) {
  std::vector<std::string> keys;
  for (const auto& e : list) keys.push_back(e.Key);
  return keys;
}

std::vector<int> Ids(const TisMorvoObject& o) { return o.FPropIds.Items(); }

TStringList Sorted(TStringList l) {
  std::sort(l.begin(), l.end());
  return l;
}

// Reads a block into a new object; once its block is complete the object
// list owns it.
template <class T = TisMorvoObject>
T* Read(TLineList& lines, int expectedNext) {
  auto* o = new T;
  const int next = o->ReadObject(lines, 0);
  if (next != expectedNext) qWarning("ReadObject returned %d, expected %d", next, expectedNext);
  return next == expectedNext ? o : nullptr;
}

// An object that records the virtual calls the grammar makes on it.
class TRecordingObject : public TisMorvoObject {
 public:
  int ParseLine(const std::string& S) override {
    Parsed.push_back(S);
    return TisMorvoObject::ParseLine(S);
  }
  int ParseLinkList(const std::string& S) override {
    LinkLists.push_back(S);
    return TisMorvoObject::ParseLinkList(S);
  }
  void SortPropertyLines() override {
    ++Sorts;
    TisMorvoObject::SortPropertyLines();
  }
  std::vector<std::string> Parsed, LinkLists;
  int Sorts = 0;
};

}  // namespace

class TestReaderGrammar : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    const std::string folder = FDir.path().toStdString() + "/";
    QVERIFY(testsupport::WriteFileBytes(
        folder + "ObjectTypNum.txt",
        "0200 Plain\r\n0301 Holder\r\n0402 Segm\r\n1002 Docu\r\n0010 INPUT_STRUCT_DATA\r\n"));
    QVERIFY(testsupport::WriteFileBytes(folder + "ObjectProperties.txt", "0001=Name\r\n0010=GUID\r\n"));
    QVERIFY(testsupport::WriteFileBytes(folder + "MorvoObject.cfg", "[Settings]\r\n"));
    SetExecutableFolderOverride(folder);
  }
  void cleanup() {
    FreeAllObjects();
    gAllObjects.reset();
  }
  void cleanupTestCase() { SetExecutableFolderOverride(""); }

  void headerFields() {
    TisMorvoObject o;
    QVERIFY(o.ParseHeader("  " + Header("A", "B \"\"x\"\"") + "  "));
    QCOMPARE(o.FTypeName, std::string("A"));
    QCOMPARE(o.FName, std::string("B \"x\""));
    QCOMPARE(o.FDelim, std::string(";"));

    TisMorvoObject noName;
    noName.ParseHeader("OBJECT TYPE=" + Quoted("T") + " DELIM=|");
    QCOMPARE(noName.FName, std::string("T"));  // first quoted text of the line
    QCOMPARE(noName.FDelim, std::string("|"));

    TisMorvoObject noDelim;
    noDelim.ParseHeader("OBJECT TYPE=" + Quoted("T") + " NAME=" + Quoted("n"));
    QCOMPARE(noDelim.FDelim, std::string("T"));  // the sixth character

    TisMorvoObject delimAtEnd;
    delimAtEnd.ParseHeader("OBJECT TYPE=" + Quoted("T") + " DELIM=");
    QCOMPARE(delimAtEnd.FDelim, std::string());

    TisMorvoObject notAHeader;
    notAHeader.ParseHeader("object TYPE=" + Quoted("T"));
    QCOMPARE(notAHeader.FTypeName, std::string());
  }

  void extractQuoted() {
    TisMorvoObject o;
    QCOMPARE(o.ExtractQuoted("x \"a\" y \"b\"\"c\" z", "\"", 2), std::string("b\"c"));
    QCOMPARE(o.ExtractQuoted("\"a\"", "\"", 2), std::string());
    QCOMPARE(o.ExtractQuoted("\"unclosed", "\"", 1), std::string());
    // An unclosed part ends the sequence: later parts are empty too.
    QCOMPARE(o.ExtractQuoted("\"a\" \"b", "\"", 3), std::string());
    QCOMPARE(o.ExtractQuoted("'it''s' 'x'", "'", 1), std::string("it's"));
    QCOMPARE(o.ExtractQuoted("\"\"\"\"", "\"", 1), std::string("\""));  // a doubled quote between two
    // A doubled quote at the very end stands for one: the text stays unclosed.
    for (const auto& [text, delim, n] : std::vector<std::tuple<std::string, std::string, int>>{
             {"\"ab\"\"", "\"", 1}, {"'a' 'b''", "'", 2}, {"<<ab<<<<", "<<", 1}})
      QCOMPARE(o.ExtractQuoted(text, delim, n), std::string());
  }

  void contentLinesAreStoredUnderTheirId() {
    for (std::string line : {"0012 \"abc\"", "12 \"abc\"", ";0012 \"abc\"", "  ;  0012 \"abc\"  "}) {
      auto o = Typed(200);
      QCOMPARE(o->ParseLine("." + line), 12);
      QCOMPARE(o->FLines, TStringList{"0012 \"abc\""});
      QCOMPARE(Ids(*o), std::vector<int>{12});
    }
    auto o = Typed(200);
    for (std::string line : {"{", "ab", "abc", ";abc", "  x  "}) QCOMPARE(o->ParseLine("." + line), -1);
    QVERIFY(o->FLines.empty());

    o->ParseLine(".0010 \"K1\"");
    o->ParseLine(".0010 \"K2\"");
    o->ParseLine(".0001 \"The name\"");
    QCOMPARE(o->FGUID, std::string("K1"));
    QCOMPARE(o->FName, std::string("The name"));

    // Plain lines (inside property collections) have no minimum length; a
    // line without a blank is stored whole under id 0.
    auto p = Typed(200);
    QCOMPARE(p->ParseLine("ab"), 0);
    QCOMPARE(p->FLines, TStringList{"0000ab"});
    QCOMPARE(p->ParseLine("-5 x"), -5);
    QCOMPARE(p->FLines.back(), std::string("-0005 x"));
    QCOMPARE(p->ParseLine("a"), -1);
  }

  void blockLinesReadAlikeWithOrWithoutOwnParseLine() {
    // Objects that keep the base ParseLine have their block lines read
    // without it; the result must be what the calls through it give.
    const char* const edges[] = {"0012 \"abc\"",
                                 "  ;  0012 \"abc\"  ",
                                 "abc",
                                 "  x  ",
                                 ".0020 \"v\"",
                                 ":0021 \"w\"",
                                 ":  2 \"a\" \"b\";",
                                 "; .0022 x",
                                 "0005 0033 \"x\"",
                                 "0010 \"G\"",
                                 "3 \"a\" \"b\";",
                                 "0013 y;z"};
    for (const char* type : {"Plain", "Segm", "Docu"})
      for (const char* edge : edges)
        for (bool last : {false, true}) {
          TLineList direct{Header(type), last ? "0001 \"n\"" : edge, last ? edge : "0001 \"n\"", "}"};
          TLineList general{Header(type), last ? "0001 \"n\"" : edge, last ? edge : "0001 \"n\"", "}"};
          auto* a = Read(direct, 4);
          auto* b = Read<TRecordingObject>(general, 4);
          QVERIFY(a && b);
          const QByteArray what = QByteArray(type) + " " + edge + (last ? " (last)" : "");
          QVERIFY2(a->FLines == b->FLines.ToList() && Ids(*a) == Ids(*b), what);
          QVERIFY2(Keys(a->FLinks) == Keys(b->FLinks) && a->FName == b->FName && a->FGUID == b->FGUID, what);
        }
  }

  void segmentAndDocumentRules() {
    auto seg = Typed(402);
    seg->ParseLine(".0005 0033 \"x\"");
    QCOMPARE(seg->FLines, TStringList{"0033 \"x\""});

    auto plain = Typed(200);
    plain->ParseLine(".0005 0033 \"x\"");
    QCOMPARE(plain->FLines, TStringList{"0005 0033 \"x\""});

    auto doc = Typed(1002);
    QCOMPARE(doc->ParseLine(".0012 \"abc\""), -1);
    QVERIFY(doc->FLines.empty());
    // Plain lines (property collections) still store properties in documents.
    QCOMPARE(doc->ParseLine("0012 \"abc\""), 12);
  }

  void repeatedIds() {
    auto o = Typed(200);
    o->ParseLine("0007 'first'");
    o->ParseLine("0007 'second'");
    QCOMPARE(o->FLines, TStringList{"0007 'first'"});

    // Above 99 a later line replaces one whose value decodes to nothing and
    // moves behind the lines read in between.
    auto r = Typed(200);
    r->ParseLine("0120 ''");
    r->ParseLine("0050 'x'");
    r->ParseLine("0120 'ABCDEFGHIJ\"v1\"'");
    r->ParseLine("0120 'ABCDEFGHIJ\"v2\"'");
    QCOMPARE(r->FLines, (TStringList{"0050 'x'", "0120 'ABCDEFGHIJ\"v1\"'"}));
    QCOMPARE(Ids(*r), (std::vector<int>{50, 120}));
  }

  void linkListForms() {
    // The tail rule: a last body line that ends with the delimiter is a link list.
    TLineList lines{Header("Plain"), "0010 \"G\"", "2 \"K1\" \"K2\";", "}"};
    auto* o = Read(lines, 4);
    QVERIFY(o);
    QCOMPARE(Keys(o->FLinks), (std::vector<std::string>{"K1", "K2"}));
    QCOMPARE(o->FLines.front(), std::string("0002 \"K1\" \"K2\";"));

    // Contains the delimiter without ending with it: no link list.
    TLineList noTail{Header("Plain"), "0020 \"x\";\"y\"", "}"};
    auto* p = Read(noTail, 3);
    QVERIFY(p);
    QVERIFY(p->FLinks.empty());
    QCOMPARE(p->FLines, TStringList{"0020 \"x\";\"y\""});

    // Ends with it, but the first delimiter lies inside: parsed again as a
    // property line, which the repeat rule drops. Every step goes through
    // the object's class.
    TLineList inside{Header("Plain"), "0020 \"x;y\";", "}"};
    auto* r = Read<TRecordingObject>(inside, 3);
    QVERIFY(r);
    QVERIFY(r->FLinks.empty());
    QVERIFY(r->LinkLists.empty());
    QCOMPARE(r->Parsed,
             (std::vector<std::string>{".0020 \"x;y\";", "0020 \"x;y\";", ":0020 \"x;y\";", "0020 \"x;y\";"}));
    QCOMPARE(r->FLines, TStringList{"0020 \"x;y\";"});
    QCOMPARE(r->Sorts, 1);

    // A doubled delimiter at the end: the first one is last but one.
    TLineList doubled{Header("Plain"), "1 \"K1\";;", "}"};
    auto* dd = Read(doubled, 3);
    QVERIFY(dd);
    QCOMPARE(Keys(dd->FLinks), std::vector<std::string>{"K1"});

    // New names go in front of those already there, in line order; a count
    // beyond the names gives empty names.
    auto m = Typed(200);
    m->ParseLine(":1 \"old\";");
    QCOMPARE(m->ParseLine(":3 \"a\" \"b\";"), -1);
    QCOMPARE(Keys(m->FLinks), (std::vector<std::string>{"a", "b", "", "old"}));

    // Type 3xx: a line not beginning with a digit loses two characters first.
    auto h = Typed(301);
    h->ParseLinkList("L:2 \"a\" \"b\";");
    QCOMPARE(Keys(h->FLinks), (std::vector<std::string>{"a", "b"}));

    // Documents: three names per counted entry.
    auto d = Typed(1002);
    d->ParseLinkList("1 \"a\" \"b\" \"c\" \"d\";");
    QCOMPARE(Keys(d->FLinks), (std::vector<std::string>{"a", "b", "c"}));

    // Input structures: the first quoted text of the whole line, whatever the count.
    auto in = Typed(10);
    in->FTypeName = "INPUT_STRUCT_DATA";
    in->ParseLinkList("0 \"s1\" \"s2\";");
    QCOMPARE(Keys(in->FLinks), (std::vector<std::string>{"s1"}));

    // Names come only from before the first delimiter.
    auto c = Typed(200);
    c->ParseLinkList("2 \"a\"; \"b\";");
    QCOMPARE(Keys(c->FLinks), (std::vector<std::string>{"a", ""}));

    // A damaged count cannot blow the list up.
    auto big = Typed(1002);
    big->ParseLinkList("2000000000 \"a\";");
    QVERIFY(big->FLinks.size() <= 3 * std::string("2000000000 \"a\";").size());
    QCOMPARE(big->FLinks.front().Key, std::string("a"));
  }

  void emptyBlockAndDocumentTail() {
    // An empty block sends its header through the tail rule; one ending with
    // its delimiter and of no special type adds nothing.
    TLineList lines{Header("Plain"), "}"};
    auto* e = Read<TRecordingObject>(lines, 2);
    QVERIFY(e);
    QCOMPARE(e->LinkLists, std::vector<std::string>{Header("Plain")});
    QVERIFY(e->FLines.empty());
    QVERIFY(e->FLinks.empty());

    // A document keeps only the tail rule's second parse of a last line
    // without the delimiter.
    TLineList doc{Header("Docu"), "0012 \"a\"", "0013 \"b\"", "}"};
    auto* d = new TisMorvoObject;
    d->FTypeNr = 1002;
    QCOMPARE(d->ReadObject(doc, 0), 4);
    QCOMPARE(d->FLines, TStringList{"0013 \"b\""});

    // Four characters are enough for the tail rule to store it.
    TLineList shortTail{Header("Docu"), "0012 \"a\"", "12 x", "}"};
    auto* s = new TisMorvoObject;
    s->FTypeNr = 1002;
    QCOMPARE(s->ReadObject(shortTail, 0), 4);
    QCOMPARE(s->FLines, TStringList{"0012 x"});
  }

  void nestedBlocksAndCollections() {
    TLineList lines{Header("Plain", "P"),
                    "0010 \"PG\"",
                    "  " + Header("Plain", "C1"),
                    "0010 \"CG\"",
                    "  }  ",
                    Header("PropertyCollection", "PC"),
                    "0099 skipped",
                    "0050 \"in collection\"",
                    "0051 \"b\"",
                    "}",
                    Header("Plain", "C2"),
                    "}",
                    "0060 \"after\"",
                    "} trailing text is no closing line",
                    "}",
                    "rest"};
    auto* o = Read(lines, 15);
    QVERIFY(o);
    QCOMPARE(Keys(o->FChildren), (std::vector<std::string>{"CG", ""}));
    QCOMPARE(o->FChildren[0].Object->FName, std::string("C1"));
    QCOMPARE(o->FChildren[1].Object->FName, std::string("C2"));
    // The collection's lines are the parent's (the line after its header
    // unread); the brace line with text after it is a content line.
    QCOMPARE(Sorted(o->FLines.ToList()), Sorted({"0010 \"PG\"", "0050 \"in collection\"", "0051 \"b\"",
                                                 "0060 \"after\"", "0000 trailing text is no closing line"}));
    // Children complete first; the parent follows them.
    QCOMPARE(gAllObjects->Count(), 3);
    QCOMPARE(gAllObjects->Object(0), o->FChildren[0].Object);
    QCOMPARE(gAllObjects->Object(1), o->FChildren[1].Object);
    QCOMPARE(gAllObjects->Object(2), o);
    QCOMPARE(gAllObjects->Key(2), std::string("PG"));

    // A value containing OBJECT opens a nested block, wherever it stands in
    // the line; a cut-off word does not.
    for (const std::string value : {"0012 \"an OBJECT in a value\"", "0012 at the end OBJECT", "OBJECT"}) {
      TLineList valueLines{Header("Plain"), value, "}", "}"};
      auto* v = Read(valueLines, 4);
      QVERIFY2(v, value.c_str());
      QCOMPARE(v->FChildren.size(), size_t(1));
      QVERIFY(v->FLines.empty());
    }
    TLineList cutLines{Header("Plain"), "0012 OBJEC", "}"};
    auto* cut = Read(cutLines, 3);
    QVERIFY(cut);
    QVERIFY(cut->FChildren.empty());
    QCOMPARE(cut->FLines, TStringList{"0012 OBJEC"});
  }

  void collectionEdges() {
    // A collection that runs to the end of the list is closed for it.
    TisMorvoObject o;
    TLineList lines{"0012 \"a\"", "0013 \"b\""};
    QCOMPARE(o.ReadPropertyBlock(lines, 0), 2);
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(std::string(lines.back()), std::string("}"));
    QCOMPARE(o.FLines.size(), size_t(2));

    // A collection header among the last two lines: list index error.
    for (int extra : {0, 1}) {
      auto p = std::make_unique<TisMorvoObject>();
      TLineList l{Header("Plain"), "0010 \"x\"", Header("PropertyCollection")};
      if (extra) l.push_back("skipped");
      try {
        p->ReadObject(l, 0);
        QFAIL("expected an error");
      } catch (const EMorvoError& e) {
        QCOMPARE(std::string(e.what()), "List index out of bounds (" + std::to_string(4) + ")");
      }
    }
  }

  void missingClosingLine() {
    TLineList lines{Header("Plain"), "0012 \"a\"", "  " + Header("Plain", "child"), "0013 \"b\"", "}"};
    auto o = std::make_unique<TisMorvoObject>();
    try {
      o->ReadObject(lines, 0);
      QFAIL("expected an error");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()),
               std::string("List index out of bounds (5): the block that begins on line 1 has no closing \"}\""));
    }
    QCOMPARE(lines.size(), size_t(5));
    // The completed child belongs to the object list; the parent was never added.
    QCOMPARE(gAllObjects->Count(), 1);
    QCOMPARE(gAllObjects->Object(0)->FName, std::string("child"));
  }

  void deepNestingFailsCleanly() {
    TLineList lines;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) lines.push_back(Header("Plain", "n" + std::to_string(i)));
    for (int i = 0; i < depth; ++i) lines.push_back("}");
    auto o = std::make_unique<TisMorvoObject>();
    try {
      o->ReadObject(lines, 0);
      QFAIL("expected an error");
    } catch (const EMorvoError& e) {
      QVERIFY2(std::string(e.what()).rfind("Objects nested too deeply (line ", 0) == 0, e.what());
    }
    QCOMPARE(gAllObjects ? gAllObjects->Count() : 0, 0);
  }

  void pathologicalLinesEndQuietly() {
    auto o = Typed(200);
    const std::string dots(200000, '.');
    QCOMPARE(o->ParseLine(dots + "0012 x"), 12);
    QCOMPARE(o->FLines, TStringList{"0012 x"});
    const std::string colons(200000, ':');
    QCOMPARE(o->ParseLine(colons + "0013 y"), 13);
    QCOMPARE(o->FLines.back(), std::string("0013 y"));
  }

  void sortingFollowsTheTextComparison() {
    const TStringList few{"0012 b",  "12000 x", "1201 y",  "-0001 n", "0012 A", "0003 z", "abc",
                          "0012 a2", "9999 q",  "10000 r", "0000x",   "1200 p", "0012 B"};
    // The handful of lines most objects have, and more than forty.
    for (const int copies : {1, 4}) {
      TStringList lines;
      for (int k = 0; k < copies; ++k) lines.insert(lines.end(), few.begin(), few.end());
      TisMorvoObject o;
      o.FLines = lines;
      o.SortPropertyLines();
      TStringList expected = lines;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
      // Lines that compare equal may stand in either order; compare the ids and texts case-folded.
      QCOMPARE(o.FLines.size(), expected.size());
      for (size_t i = 0; i < expected.size(); ++i) QCOMPARE(CompareTextLocale(o.FLines[i], expected[i]), 0);
      QCOMPARE(o.FPropIds.Count(), static_cast<int>(o.FLines.size()));
      for (int i = 0; i < o.FPropIds.Count(); ++i) {
        const std::string l(o.FLines[static_cast<size_t>(i)]);
        // The id is what the first four characters read as.
        const int want = l == "abc" ? -1 : l == "12000 x" ? 1200 : l == "10000 r" ? 1000 : l == "-0001 n" ? 0 : -2;
        if (want != -2) QCOMPARE(o.FPropIds[i], want);
      }
    }
  }

  void renumberingConditions() {
    TisMorvoObject o;
    o.RenumberDuplicates();  // nothing to do, nothing breaks
    QVERIFY(o.FLines.empty());

    o.FLines = {"0001 name", "1201 'first'", "1200 'base'", "1301 'other group'"};
    o.FLines.push_back("1201 'second'");
    o.RenumberDuplicates();
    QCOMPARE(o.FLines,
             (TStringList{"0001 name", "1200 'base'", "1201 'first'", "1202 'second'", "1301 'other group'"}));
    QCOMPARE(Ids(o), (std::vector<int>{1, 1200, 1201, 1202, 1301}));
    o.FLines.push_back("1201 'third'");
    o.RenumberDuplicates();
    QCOMPARE(o.FLines[4], std::string("1203 'third'"));

    // File order, not text order: a later condition whose text sorts first
    // still gets the next id, and the earlier ones keep theirs.
    TisMorvoObject order;
    for (const char* text : {"1201 'zeta'", "1201 'alpha'", "1201 'mid'"}) {
      order.FLines.push_back(text);
      order.RenumberDuplicates();
    }
    QCOMPARE(order.FLines, (TStringList{"1201 'zeta'", "1202 'alpha'", "1203 'mid'"}));

    // Only the group of the new line is numbered: base ids, other groups'
    // lines and lines read with their own id stay; a gap is filled first.
    TisMorvoObject mixed;
    mixed.FLines = {"1200 'base'", "1201 'a'", "1203 'own id'", "1302 'other'", "1302 'other again'"};
    mixed.FLines.push_back("1200 'base again'");
    mixed.RenumberDuplicates();
    mixed.FLines.push_back("1201 'b'");
    mixed.RenumberDuplicates();
    mixed.FLines.push_back("1201 'c'");
    mixed.RenumberDuplicates();
    QCOMPARE(mixed.FLines, (TStringList{"1200 'base again'", "1200 'base'", "1201 'a'", "1202 'b'", "1203 'own id'",
                                        "1204 'c'", "1302 'other again'", "1302 'other'"}));
    mixed.FLines.push_back("1301 'd'");  // group 13: 1301 is free, so it stays
    mixed.RenumberDuplicates();
    QCOMPARE(mixed.FPropIds.PosNext(1301, 0) >= 0, true);
    QCOMPARE(mixed.FPropIds.PosNext(1303, 0), -1);

    // More conditions than the group has ids: the last id is shared, no
    // line strays into the next group.
    TisMorvoObject many;
    for (int i = 0; i < 120; ++i) {
      many.FLines.push_back("1201 c" + std::to_string(i));
      many.RenumberDuplicates();
    }
    QCOMPARE(many.FPropIds[98], 1299);
    QCOMPARE(many.FPropIds[119], 1299);
    QCOMPARE(many.FPropIds[0], 1201);
    QCOMPARE(many.FLines[1], std::string("1202 c1"));
  }
};

QTEST_GUILESS_MAIN(TestReaderGrammar)
#include "tst_reader_grammar.moc"
