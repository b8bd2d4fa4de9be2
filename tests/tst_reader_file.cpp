// Reading whole object files: marker and section rules, encodings, links and
// roots, terminate requests and the errors that pass to the caller.
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "Accessors.h"
#include "AppPaths.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TestSupport.h"
#include "TextCompare.h"

// The reader's decoding steps.
bool IsUnicodeFile(const std::string& FileName);
void LoadUnicodeFile(TLineList& Lines, const std::string& FileName);
void LoadCodePageFile(TLineList& Lines, const std::string& FileName);

namespace {

const std::string kPrologue = "xVersion 1.0\r\nsecond line\r\n!!EndOfControl\r\n";

std::string Block(const std::string& name, const std::string& guid, const std::string& body = {}) {
  std::string s = "OBJECT TYPE=\"Plain\" NAME=\"" + name + "\" DELIM=;\r\n";
  if (!guid.empty()) s += "0010 \"" + guid + "\"\r\n";
  return s + body + "}\r\n";
}

std::vector<std::string> Names(const TObjectList* list) {
  std::vector<std::string> names;
  if (list)
    for (const auto& e : *list) names.push_back(e.Object ? e.Object->FName : "<none>");
  return names;
}

std::string Fixture(const std::string& name) { return testsupport::TestDataDir() + "/reader/" + name; }

}  // namespace

class TestReaderFile : public QObject {
  Q_OBJECT
  QTemporaryDir FDir;
  std::string FDefs;

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = FDir.path().toStdString() + "/" + name;
    if (!testsupport::WriteFileBytes(path, bytes)) qFatal("cannot write %s", path.c_str());
    return path;
  }
  int Read(const std::string& bytes) { return ReadObjectFile(Write("file.dcl", bytes)); }
  void WriteDefs(const std::string& cfg) {
    QVERIFY(testsupport::WriteFileBytes(FDefs + "ObjectTypNum.txt", "0200 Plain\r\n0402 Segm\r\n"));
    QVERIFY(testsupport::WriteFileBytes(FDefs + "ObjectProperties.txt", "0001=Name\r\n0010=GUID\r\n"));
    QVERIFY(testsupport::WriteFileBytes(FDefs + "MorvoObject.cfg", cfg));
  }
  // Expects ReadObjectFile to fail with a message beginning with prefix.
  void ExpectError(const std::string& path, const std::string& prefix) {
    try {
      ReadObjectFile(path);
      QFAIL("expected an error");
    } catch (const EMorvoError& e) {
      QVERIFY2(std::string(e.what()).rfind(prefix, 0) == 0, e.what());
    }
    QVERIFY(!gLoading);
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    FDefs = FDir.path().toStdString() + "/defs/";
    WriteDefs("[Settings]\r\nMultiLine=1250\r\n");
    SetExecutableFolderOverride(FDefs);
  }
  void cleanup() {
    SetProgressHook(nullptr);
    SetApplicationTerminating(false);
    FreeAllObjects();
    WriteDefs("[Settings]\r\nMultiLine=1250\r\n");
  }
  void cleanupTestCase() { SetExecutableFolderOverride(""); }

  void markerPlacement() {
    const std::string block = Block("A", "G1");
    QCOMPARE(Read("one line\r\n!!EndOfControl\r\n" + block), -1);  // index 1
    FreeAllObjects();
    QCOMPARE(Read("a\r\nb\r\n!!EndOfControl\r\n" + block), 6);  // index 2: the line count
    FreeAllObjects();
    QCOMPARE(Read("a\r\nb\r\n!!endofcontrol\r\n" + block), 6);
    FreeAllObjects();
    QCOMPARE(Read("a\r\nb\r\n !!EndOfControl\r\n" + block), -1);
    FreeAllObjects();
    QCOMPARE(Read("a\r\nb\r\nc\r\n" + block), -1);
    QVERIFY(!gAllObjects || gAllObjects->Count() == 0);
    // Only lines beginning with OBJECT in the first column open blocks.
    QCOMPARE(Read(kPrologue + "  OBJECT TYPE=\"Plain\" NAME=\"A\" DELIM=;\r\n}\r\nobject x\r\n"), -1);
    QVERIFY(!gAllObjects || gAllObjects->Count() == 0);
    FreeAllObjects();
    // The marker itself may be the last line before blocks begin much later.
    QCOMPARE(Read(kPrologue + "junk\r\n\r\n" + block + "trailing junk\r\n"), 9);
    QCOMPARE(gAllObjects->Count(), 1);
  }

  void shortAndOddFiles() {
    for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"), std::string("\xFF\xFE"),
                                     std::string("\xFF\xFE\x41"), std::string("\0\0\0", 3)}) {
      QCOMPARE(Read(bytes), -1);
      QVERIFY(!gLoading);
    }
    // A NUL ends the text: the block behind it is not read.
    QCOMPARE(Read(kPrologue + Block("A", "G1") + std::string("\0\r\n", 3) + Block("B", "G2")), 6);
    QCOMPARE(Names(&gAllObjects->Entries()), std::vector<std::string>{"A"});
    FreeAllObjects();
    // Every break kind ends a line; a break at the very end adds no empty line.
    QCOMPARE(Read("a\rb\n!!EndOfControl\r\n" + Block("A", "G1") + "\n\r"), 8);
  }

  void unicodeFiles() {
    const std::string path = Fixture("unicode-16le.seg");
    QVERIFY(IsUnicodeFile(path));
    TLineList lines;
    LoadUnicodeFile(lines, path);
    QCOMPARE(lines.size(), size_t(7));
    QCOMPARE(std::string(lines[0].substr(0, 5)), std::string("\xEF\xBB\xBFxV"));
    QCOMPARE(std::string(lines[6]), std::string("}"));  // the odd last byte is gone

    QCOMPARE(ReadObjectFile(path), 7);
    QCOMPARE(gAllObjects->Count(), 1);
    TisMorvoObject* o = gAllObjects->Object(0);
    QCOMPARE(o->FName, std::string("smile \xF0\x9F\x98\x80 \xC3\xA9"));
    QCOMPARE(o->FLines.back(), std::string("0012 \"\xE4\xB8\xAD\xE6\x96\x87\""));
  }

  // Surrogates through the whole decoding of a file: a pair is one
  // character, a lone half (also one cut off by the end of the file) U+FFFD.
  void unicodeSurrogates() {
    auto units = [](std::initializer_list<unsigned> us) {
      std::string b;
      for (unsigned u : us) {
        b += static_cast<char>(u & 0xFF);
        b += static_cast<char>(u >> 8);
      }
      return b;
    };
    const std::string path = Write("surrogates.dcl", units({0xFEFF, 'a', 0xD83D, 0xDE00, 'b', 0xDE00, 'c', 0xD83D, 'd',
                                                            0x0D, 0x0A, 0xD83D, 0xD83D, 0xDE00, 0x0A, 'e', 0xDBFF}));
    TLineList lines;
    LoadUnicodeFile(lines, path);
    QCOMPARE(TStringList(lines.begin(), lines.end()), (TStringList{"\xEF\xBB\xBF"
                                                                   "a\xF0\x9F\x98\x80"
                                                                   "b\xEF\xBF\xBD"
                                                                   "c\xEF\xBF\xBD"
                                                                   "d",
                                                                   "\xEF\xBF\xBD\xF0\x9F\x98\x80", "e\xEF\xBF\xBD"}));
  }

  // Single-byte decoding sizes its output from the bytes: long ASCII runs,
  // characters of two and three bytes and line breaks mixed in any order.
  void codePageSizesAndRuns() {
    std::string raw, want;
    for (int i = 0; i < 200; ++i) {
      const std::string run(static_cast<size_t>(i % 19), static_cast<char>('A' + i % 26));
      raw += run;
      want += run;
      if (i % 3 == 0) {
        raw += '\x80';  // euro sign: three bytes
        want += "\xE2\x82\xAC";
      }
      if (i % 5 == 0) {
        raw += '\xE9';
        want += "\xC3\xA9";
      }
      if (i % 7 == 0) {
        raw += "\r\n";
        want += '\n';
      }
    }
    TLineList lines;
    LoadCodePageFile(lines, Write("runs.txt", raw));
    std::string joined;
    for (const std::string_view l : lines) {
      joined += l;
      joined += '\n';
    }
    if (!want.empty() && want.back() != '\n') want += '\n';
    QCOMPARE(joined, want);
  }

  void codePageFiles() {
    // The default is windows-1252.
    const std::string latin = Write("latin.dcl", kPrologue + Block("Caf\xE9 \x80", "G1"));
    QVERIFY(!IsUnicodeFile(latin));
    QCOMPARE(ReadObjectFile(latin), 6);
    QCOMPARE(gAllObjects->Object(0)->FName, std::string("Caf\xC3\xA9 \xE2\x82\xAC"));
    FreeAllObjects();

    WriteRegString("Quillset1xCodePage", "ISO-8859-7");
    QCOMPARE(ReadObjectFile(latin), 6);
    QCOMPARE(gAllObjects->Object(0)->FName.substr(0, 5), std::string("Caf\xCE\xB9"));
    FreeAllObjects();

    WriteRegString("Quillset1xCodePage", "no-such-charset");
    ExpectError(latin, "");
    QVERIFY(!gAllObjects || gAllObjects->Count() == 0);
    WriteRegString("Quillset1xCodePage", "");
  }

  void linksRootsAndNesting() {
    QCOMPARE(ReadObjectFile(Fixture("links-1252.dcl")), 20);
    QCOMPARE(Names(&gAllObjects->Entries()), (std::vector<std::string>{"Nested", "Caf\xC3\xA9", "Menu"}));
    QCOMPARE(Names(gTopObjects.get()), (std::vector<std::string>{"Caf\xC3\xA9", "Menu"}));
    // They link to each other (in other letter case) and the child is
    // contained: nothing is a root, yet the file was read.
    QVERIFY(gRootObjects);
    QCOMPARE(gRootObjects->size(), size_t(0));

    TisMorvoObject* cafe = gAllObjects->Object(1);
    TisMorvoObject* menu = gAllObjects->Object(2);
    QCOMPARE(cafe->FLinks.size(), size_t(2));
    QCOMPARE(cafe->FLinks[0].Key, std::string("g-menu"));
    QCOMPARE(cafe->FLinks[0].Object, menu);
    QCOMPARE(cafe->FLinks[1].Key, std::string("G-NESTED"));  // the child, merged after the links
    QCOMPARE(cafe->FLinks[1].Object, gAllObjects->Object(0));
    QCOMPARE(menu->FLinks.size(), size_t(2));
    QCOMPARE(menu->FLinks[0].Object, cafe);
    QCOMPARE(menu->FLinks[1].Object, static_cast<TisMorvoObject*>(nullptr));  // "missing"
    QVERIFY(std::find(cafe->FLines.begin(), cafe->FLines.end(), "0040 \"from the collection\"") != cafe->FLines.end());
  }

  void rootOrder() {
    // Nothing links: every object is a root, the last block first.
    QCOMPARE(Read(kPrologue + Block("A", "G1") + Block("B", "G2") + Block("C", "G3")), 12);
    QCOMPARE(Names(gRootObjects.get()), (std::vector<std::string>{"C", "A", "B"}));
    FreeAllObjects();

    // The second links to the first by GUID in other case: only the second is
    // a root, and a later object of that key is no root either.
    for (const std::string& later : {std::string(), Block("Same key", "GUID-1")}) {
      Read(kPrologue + Block("A", "Guid-1") + Block("B", "G2", "1 \"gUID-1\";\r\n") + later);
      QCOMPARE(Names(gRootObjects.get()), (std::vector<std::string>{"B"}));
      FreeAllObjects();
    }

    // Objects without GUID are keyed, and found, by their caption.
    Read(kPrologue + Block("Target", "") + Block("B", "G2", "1 \"TARGET\";\r\n"));
    QCOMPARE(gAllObjects->Key(0), std::string("Target"));
    QVERIFY(!gAllObjects->Object(0)->FGUID.empty());  // the caption gave it a generated one
    QCOMPARE(Names(gRootObjects.get()), (std::vector<std::string>{"B"}));
    FreeAllObjects();

    // An empty link name finds nothing, not an object still without its key.
    Read(kPrologue + Block("A", "G1", "2 \"X\";\r\n") + Block("B", ""));
    QCOMPARE(gAllObjects->Object(0)->FLinks.at(1).Object, static_cast<TisMorvoObject*>(nullptr));
  }

  void linkedNamesAreTrimmedAtTheEnds() {
    // The linked names are cleaned as one trimmed text: the only name loses
    // its blanks, so the object keyed with them is a root again while one
    // keyed without them, linked by nobody, is not.
    Read(kPrologue + Block("Padded", " k1") + Block("Linker", "G2", "1 \" k1\";\r\n") + Block("Plain", "K1"));
    QCOMPARE(gAllObjects->Object(1)->FLinks[0].Object, gAllObjects->Object(0));
    QCOMPARE(Names(gRootObjects.get()), (std::vector<std::string>{"Linker", "Padded"}));
  }

  void terminateRequests() {
    // Terminating when the file has just been decoded: nothing parsed.
    SetApplicationTerminating(true);
    QCOMPARE(Read(kPrologue + Block("A", "G1")), 0);
    QVERIFY(!gAllObjects);
    QVERIFY(!gLoading);
    SetApplicationTerminating(false);

    // During the object section: the index reached, the objects so far, and
    // roots built from them.
    int calls = 0;
    bool loadingSeen = true;
    SetProgressHook([&] {
      loadingSeen = loadingSeen && gLoading;
      if (++calls == 4) SetApplicationTerminating(true);
    });
    const int result = Read(kPrologue + Block("A", "G1") + Block("B", "G2", "1 \"G1\";\r\n") + "x\r\n" +
                            Block("C", "G3") + Block("D", "G4"));
    QVERIFY(loadingSeen);
    QVERIFY(!gLoading);
    // Progress per step of the section: A at 3, B at 6, junk at 10, C at 11;
    // the request made while C is read stops the read before D at 14.
    QCOMPARE(calls, 4);
    QCOMPARE(result, 14);
    QCOMPARE(Names(&gAllObjects->Entries()), (std::vector<std::string>{"A", "B", "C"}));
    // The link pass stops too while the request stands: no link is resolved,
    // so every object read is a root.
    QCOMPARE(Names(gRootObjects.get()), (std::vector<std::string>{"C", "A", "B"}));
    QCOMPARE(gAllObjects->Object(1)->FLinks[0].Object, static_cast<TisMorvoObject*>(nullptr));
  }

  void errorsPassToTheCaller() {
    ExpectError(FDir.path().toStdString() + "/no-such-file.dcl", "Cannot open file");
    ExpectError(FDir.path().toStdString(), "Cannot open file");  // a folder

    // A block without its closing line: the objects completed so far stay.
    const std::string open = Write(
        "open.dcl", kPrologue + Block("A", "G1") + "OBJECT TYPE=\"Plain\" NAME=\"B\" DELIM=;\r\n" + "0010 \"G2\"\r\n");
    ExpectError(open, "List index out of bounds (8): the block that begins on line 7 has");
    QCOMPARE(gAllObjects->Count(), 1);
    FreeAllObjects();

    // 100,000 nested blocks fail cleanly instead of exhausting the stack.
    std::string deep = kPrologue;
    for (int i = 0; i < 100000; ++i) deep += "OBJECT TYPE=\"Plain\" NAME=\"n\" DELIM=;\r\n";
    for (int i = 0; i < 100000; ++i) deep += "}\r\n";
    ExpectError(Write("deep.dcl", deep), "Objects nested too deeply (line ");
    FreeAllObjects();

    // A settings id list that is no list of numbers fails the read, naming
    // where it stands; any integer form the program reads is an id.
    WriteDefs("[Settings]\r\nRuntimes=1,x14\r\nIntValues=1,x\r\n");
    ExpectError(
        Write("ok.dcl", kPrologue + Block("A", "G1")),
        "'x' is not a valid integer value in \"" + FDefs + "MorvoObject.cfg\", section [Settings], key IntValues");
    QCOMPARE(gRuntimeIds->Items(), (std::vector<int32_t>{1, 20}));
    FreeAllObjects();

    // Without the type-number table the first header fails the read.
    WriteDefs("[Settings]\r\n");
    QVERIFY(QFile::remove(QString::fromStdString(FDefs + "ObjectTypNum.txt")));
    ExpectError(Write("ok.dcl", kPrologue + Block("A", "G1")), "");
  }

  void settingsAreReadOnEveryRead() {
    WriteDefs("[Settings]\r\nRuntimes=30,10,20\r\nSpecials=\r\nMultiLine=5\r\nIntValues=,7\r\n");
    Read(kPrologue + Block("A", "G1"));
    QCOMPARE(gRuntimeIds->Items(), (std::vector<int32_t>{10, 20, 30}));
    QVERIFY(gSpecialIds->Empty());
    QCOMPARE(gMultiLineIds->Items(), (std::vector<int32_t>{5}));
    QCOMPARE(gIntValueIds->Items(), (std::vector<int32_t>{0, 7}));
  }

  // The key index against a plain scan of the keys: first match in list
  // order without regard to case, through appends, re-keying in and out of
  // order, keys that only fold alike, and the growth of the index.
  void keyIndexMatchesAScan() {
    TAllObjectList list;
    std::vector<std::string> keys;
    auto scan = [&](const std::string& key) {
      for (size_t i = 0; i < keys.size(); ++i)
        if (SameTextCI(keys[i], key)) return static_cast<int>(i);
      return -1;
    };
    const std::vector<std::string> probes = {"",
                                             "k1",
                                             "K1",
                                             "{G-7}",
                                             "{g-7}",
                                             "\xE2\x84\xAA"
                                             "1",
                                             "Stra\xC3\x9F"
                                             "e",
                                             "STRASSE",
                                             "dup",
                                             "DUP",
                                             "none",
                                             "k299"};
    auto check = [&](const char* when) {
      for (const auto& p : probes)
        if (list.IndexOfKey(p) != scan(p)) QFAIL((std::string(when) + ": key '" + p + "'").c_str());
    };
    // Appends: empty keys, keys in other case, a Kelvin sign that folds to "k",
    // a sharp s that folds to "ss", many entries of one key.
    for (int i = 0; i < 300; ++i) {
      std::string key;
      switch (i % 6) {
        case 0:
          key = "";
          break;
        case 1:
          key = (i % 4 == 1 ? "K" : "k") + std::to_string(i % 7);
          break;
        case 2:
          key = "dup";
          break;
        case 3:
          key = i == 3 ? "Stra\xC3\x9F"
                         "e"
                       : "{G-" + std::to_string(i) + "}";
          break;
        case 4:
          key = "\xE2\x84\xAA" + std::to_string(i % 5);
          break;
        default:
          key = "k" + std::to_string(i);
          break;
      }
      keys.push_back(key);
      list.Append(key, nullptr);
    }
    check("after appending");
    // Re-keying as the link pass does: empty keys in list order.
    for (int i = 0; i < list.Count(); ++i)
      if (keys[static_cast<size_t>(i)].empty()) {
        keys[static_cast<size_t>(i)] = i % 12 == 0 ? "DUP" : "{g-" + std::to_string(i + 1) + "}";
        list.SetKey(i, keys[static_cast<size_t>(i)]);
      }
    check("after re-keying the empty keys");
    // And against list order: later entries first, into the middle of a chain.
    for (int i = list.Count() - 1; i >= 0; i -= 7) {
      keys[static_cast<size_t>(i)] = i % 2 ? "dup" : "";
      list.SetKey(i, keys[static_cast<size_t>(i)]);
    }
    list.SetKey(2, "DUP");  // same fold: stays where it is
    keys[2] = "DUP";
    check("after re-keying backwards");
    QCOMPARE(list.Key(2), std::string("DUP"));
    // Objects re-keyed in list order to a caption that a later entry
    // already carries as its key, then some of them re-keyed again.
    TAllObjectList captions;
    for (int i = 0; i < 40; ++i) captions.Append("", nullptr);
    captions.Append("Values", nullptr);
    captions.Append("values", nullptr);
    for (int i = 0; i < 40; ++i) {
      captions.SetKey(i, i % 2 ? "VALUES" : "other");
      QCOMPARE(captions.IndexOfKey("Values"), i == 0 ? 40 : 1);
    }
    for (int i : {1, 3, 21, 39}) captions.SetKey(i, "gone");
    QCOMPARE(captions.IndexOfKey("values"), 5);
    for (int i = 5; i < 40; i += 2) captions.SetKey(i, "gone");
    QCOMPARE(captions.IndexOfKey("values"), 40);
    captions.SetKey(40, "x");
    QCOMPARE(captions.IndexOfKey("values"), 41);
    QCOMPARE(captions.IndexOfKey("GONE"), 1);
    QCOMPARE(captions.IndexOfKey(""), -1);

    list.Clear();
    keys.clear();
    check("after clearing");
    list.Append("again", nullptr);
    QCOMPARE(list.IndexOfKey("AGAIN"), 0);
  }
};

QTEST_GUILESS_MAIN(TestReaderFile)
#include "tst_reader_file.moc"
