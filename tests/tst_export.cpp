// The export engine: document shape, templates, values, translation, root,
// file naming and writing, stopping; and the export commands of the main window.
#include <QAction>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <map>

#include "Accessors.h"
#include "AppPaths.h"
#include "DialogFacade.h"
#include "ExportEngine.h"
#include "MessageBox.h"
#include "MessagePump.h"
#include "MorvoObject.h"
#include "Registry.h"
#include "TestSupport.h"
#include "fMain.h"
#include "fWait.h"

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

// An object whose shown properties are given directly, so the walk can be
// tested apart from the reader and the views.
class TFakeObject : public TisMorvoObject {
 public:
  std::vector<std::pair<std::string, std::string>> Shown;
  std::string Display;
  int Type = 0;
  std::map<int, std::string> Texts;

  void LoadPropertyArrays() override {
    gPropNames[0] = std::to_string(Shown.size());
    gPropValues[0] = FGUID;
    for (size_t i = 0; i < Shown.size(); ++i) {
      gPropNames[i + 1] = Shown[i].first;
      gPropValues[i + 1] = Shown[i].second;
    }
  }
  std::string GetPropertyName(int Id) override { return Id == 0 ? Display : "id" + std::to_string(Id); }
  int GetTypeNumber() override { return Type; }
  std::string GetPropertyText(int Id) override {
    auto it = Texts.find(Id);
    return it == Texts.end() ? std::string() : it->second;
  }
};

using TKeys = std::map<std::string, std::string>;

// Short templates for three depths: every line says where it comes from.
TKeys BaseKeys() {
  TKeys k{{"StartDocLine", "D"},   {"TitleLine", "T %3:s"},   {"StartBody1", "B1"},
          {"StartBody2", "B2 %s"}, {"StartBody3", "B3 %2:s"}, {"NewLine", "//"},
          {"EndBody", "EB"},       {"EndDocLine", "ED"},      {"TranslateXMLStyle", "no"}};
  for (int n = 1; n <= 3; ++n) {
    const std::string d = std::to_string(n);
    k["StartLevel" + d] = "<%d";
    k["EndLevel" + d] = "%d>";
    k["LevelObjectStart" + d] = "o %s %s %d";
    k["LevelName" + d] = "n %s";
    k["LevelValueInt" + d] = "i %d";
    k["LevelValueStr" + d] = "s %s";
    k["LevelObjectEnd" + d] = "e";
  }
  return k;
}

std::string Doc(const std::vector<std::string>& Lines) {
  std::string r;
  for (const auto& l : Lines) r += l + "\r\n";
  return r;
}

// The lines every document of BaseKeys starts and ends with.
std::vector<std::string> Head() { return {"D", "T Root", "", "B1", "B2 Root", "B3 view"}; }
std::vector<std::string> operator+(std::vector<std::string> A, const std::vector<std::string>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}
const std::vector<std::string> kTail{"EB", "ED"};

class TExportCase {
 public:
  TExportCase() : FKeys(BaseKeys()) {
    FSource.Tree = &FTree;
    FSource.Caption = "caption";
    FSource.AppTitle = "App";
    FSource.LoadedFileName = "/nowhere/sample.obj";
    FSource.CurrentView = "view";
    FSource.Today = "today";
    FSource.ReadTemplate = [this](const std::string& Section, const std::string& Ident) {
      if (Section != "x") return std::string();
      auto it = FKeys.find(Ident);
      return it == FKeys.end() ? std::string() : it->second;
    };
    FRoot = Object("Root", "TRoot");
    gTopObjects = std::make_unique<TObjectList>();
    gTopObjects->push_back({"root", FRoot});
    FTarget = FDir.filePath("out.x").toStdString();
  }
  ~TExportCase() {
    gTopObjects.reset();
    SetApplicationTerminating(false);
    SetProgressHook(nullptr);
  }

  TFakeObject* Object(const std::string& Name, const std::string& Display,
                      std::vector<std::pair<std::string, std::string>> Shown = {}, int Type = 0) {
    auto o = std::make_unique<TFakeObject>();
    o->FName = Name;
    o->FGUID = "G" + std::to_string(FObjects.size());
    o->Display = Display;
    o->Shown = std::move(Shown);
    o->Type = Type;
    FObjects.push_back(std::move(o));
    return FObjects.back().get();
  }
  TObjectTreeNode* Node(TObjectTreeNode* Parent, TisMorvoObject* Obj) {
    auto& list = Parent ? Parent->Children : FTree.TopNodes;
    auto node = std::make_unique<TObjectTreeNode>();
    node->Object = Obj;
    node->Parent = Parent;
    node->Row = static_cast<int>(list.size());
    if (!list.empty()) list.back()->NextSibling = node.get();
    list.push_back(std::move(node));
    return list.back().get();
  }
  // Runs the export "x" and gives the file's bytes (empty when none was written).
  std::string Run(TExportResult* Result = nullptr) {
    const TExportResult r = SaveCurrentViewToFile(FTarget, "x", FSource);
    if (Result) *Result = r;
    return ReadFileBytes(FTarget);
  }

  TKeys FKeys;
  TExportSource FSource;
  TObjectTree FTree;
  TFakeObject* FRoot;
  QTemporaryDir FDir;
  std::string FTarget;

 private:
  std::vector<std::unique_ptr<TFakeObject>> FObjects;
};

// A definition folder of the worked example, with its object file, in a
// temporary folder that the program takes for its own.
struct TExampleFolder {
  QTemporaryDir Dir;
  std::string Path;
  TExampleFolder() : Path(Dir.path().toStdString() + "/") {
    for (const char* name : {"MorvoObject.cfg", "ObjectProperties.txt", "ObjectTypNum.txt", "sample.obj"})
      std::filesystem::copy_file(testsupport::TestDataDir() + "/export/" + name, Path + name);
    SetExecutableFolderOverride(Path);
  }
  ~TExampleFolder() {
    FreeAllObjects();
    SetExecutableFolderOverride({});
  }
  std::string Expected() const { return ReadFileBytes(testsupport::TestDataDir() + "/export/sample.tst.expected"); }
};

}  // namespace

class TestExport : public QObject {
  Q_OBJECT
 private slots:

  // ---------------------------------------------------------------- shape
  void theWorkedExampleByteForByte() {
    TExampleFolder folder;
    QVERIFY(ReadObjectFile(folder.Path + "sample.obj") > 0);
    SetExtraFields("");
    SetFieldFilter("2,3,4,5");
    SetViewMode(0);
    TObjectTree tree;
    FillObjectTree(tree, TTreeOrder::File, {});
    TExportSource source;
    source.Tree = &tree;
    source.LoadedFileName = folder.Path + "sample.obj";
    source.CurrentView = "All";
    const std::string target = folder.Path + "sample.tst";
    const TExportResult r = SaveCurrentViewToFile(target, "tst", source);
    QCOMPARE(QString::fromStdString(r.Message), QString());
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(target)), QByteArray::fromStdString(folder.Expected()));

    // Semantic order shows the root first; it stays the root all the same.
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    QVERIFY(SaveCurrentViewToFile(target, "tst", source).Outcome == TExportOutcome::Written);
    const std::string semantic = ReadFileBytes(target);
    QVERIFY(semantic.find("file sample.obj root Zeta\r\n") != std::string::npos);
    QVERIFY(semantic.find("view All\r\n\r\nlevel 1(") != std::string::npos);  // Zeta's empty entry first
  }

  void eachNodeComposesItsTextByWhatItAndItsChildrenShow() {
    TExportCase c;
    // Own properties and children: the children follow the object's end line.
    TObjectTreeNode* a = c.Node(nullptr, c.Object("A", "TA", {{"p", "1"}}, 303));
    c.Node(a, c.Object("B", "TB", {{"q", "x"}}));
    // No own properties: the children stand between its first and last line.
    TObjectTreeNode* cc = c.Node(nullptr, c.Object("C", "TC"));
    c.Node(cc, c.Object("D", "TD", {{"r", "y"}}));
    // Nothing shown, no children: one empty line.
    c.Node(nullptr, c.Object("E", "TE"));
    // Children that yield nothing: exported like a node without children.
    TObjectTreeNode* f = c.Node(nullptr, c.Object("F", "TF", {{"s", "z"}}));
    c.Node(f, c.Object("G", "TG"));
    // Nothing anywhere in the subtree: one empty line.
    TObjectTreeNode* h = c.Node(nullptr, c.Object("H", "TH"));
    c.Node(h, c.Object("I", "TI"));
    // An unresolved link yields nothing of its own.
    c.Node(nullptr, nullptr);

    const std::string expected =
        Doc(Head() + std::vector<std::string>{"<1",  "o A TA 3",  "n p", "i 1",       "e",   "<2",  "o B TB 24",
                                              "n q", "s x",       "e",   "2>",        "1>",  "",  //
                                              "<1",  "o C TC 24", "<2",  "o D TD 24", "n r", "s y", "e",
                                              "2>",  "e",         "1>",  "",                             //
                                              "",                                                        //
                                              "<1",  "o F TF 24", "n s", "s z",       "e",   "1>",  "",  //
                                              "",                                                        //
                                              ""} +
            kTail);
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(expected));
  }

  void propertiesFollowTheGridOrder() {
    // The setting goes again however the test ends, so later tests sort.
    struct TDropSetting {
      ~TDropSetting() {
        TRegistry reg;
        if (reg.OpenKey(kSettingsKey, true)) reg.DeleteValue("SortProperties");
      }
    } drop;
    TExportCase c;
    c.Node(nullptr, c.Object("A", "TA", {{"zeta", "1"}, {"Alpha", "2"}, {"beta", "3"}}));
    const std::string sorted = "n Alpha\r\ni 2\r\nn beta\r\ni 3\r\nn zeta\r\ni 1\r\n";
    QVERIFY(c.Run().find(sorted) != std::string::npos);
    // The grid's setting off: the order in which the view filled them.
    WriteRegString("SortProperties", "0");
    QVERIFY(c.Run().find("n zeta\r\ni 1\r\nn Alpha\r\ni 2\r\nn beta\r\ni 3\r\n") != std::string::npos);
    // A setting the store cannot give as text sorts, as in the grid, and fails nothing.
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kSettingsKey, true));
      reg.WriteBinaryData("SortProperties", std::string("\x01\x02", 2));
    }
    TExportResult r;
    QVERIFY(c.Run(&r).find(sorted) != std::string::npos);
    QVERIFY2(r.Outcome == TExportOutcome::Written, r.Message.c_str());
  }

  void anEmptyTreeWritesTheFrameOnly() {
    TExportCase c;
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(Doc(Head() + kTail)));
  }

  // ------------------------------------------------------------- templates
  void anExportWithoutSectionWritesEmptyLinesOnly() {
    TExportCase c;
    c.FKeys.clear();
    TObjectTreeNode* a = c.Node(nullptr, c.Object("A", "TA", {{"p", "1"}}));
    c.Node(a, c.Object("B", "TB", {{"q", "x"}}));
    c.Node(nullptr, c.Object("E", "TE"));
    // 2 head lines, 1 after the PreBody lines, 3 body starts; A: <1 o n v e <2 o n v e 2> 1> and its
    // entry's end; E's empty entry; 2 tail lines.
    QCOMPARE(QByteArray::fromStdString(c.Run()),
             QByteArray::fromStdString(Doc(std::vector<std::string>(2 + 1 + 3 + 13 + 1 + 2))));
  }

  void preBodyLinesEndAtTheFirstEmptyOne() {
    {
      TExportCase c;
      c.FKeys["PreBody1"] = "first";
      c.FKeys["PreBody2"] = "second 100%%";
      QCOMPARE(QByteArray::fromStdString(c.Run()),
               QByteArray::fromStdString(
                   Doc({"D", "T Root", "first", "second 100%", "", "B1", "B2 Root", "B3 view", "EB", "ED"})));
    }
    {
      // A missing PreBody1 ends the list at once; the later keys are never read,
      // so even a pattern that cannot be formatted does no harm there.
      TExportCase c;
      c.FKeys["PreBody2"] = "second";
      c.FKeys["PreBody3"] = "%d";
      QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(Doc(Head() + kTail)));
    }
  }

  void aDepthWithoutItsKeysGivesEmptyLines() {
    TExportCase c;
    for (const char* key :
         {"StartLevel3", "EndLevel3", "LevelObjectStart3", "LevelName3", "LevelValueStr3", "LevelObjectEnd3"})
      c.FKeys.erase(key);
    TObjectTreeNode* a = c.Node(nullptr, c.Object("A", "TA", {{"p", "a"}}));
    TObjectTreeNode* b = c.Node(a, c.Object("B", "TB", {{"p", "b"}}));
    c.Node(b, c.Object("C", "TC", {{"p", "c"}}));
    const std::string expected =
        Doc(Head() +
            std::vector<std::string>{"<1", "o A TA 24", "n p", "s a", "e", "<2", "o B TB 24", "n p", "s b", "e", "", "",
                                     "", "", "", "", "2>", "1>", ""} +
            kTail);
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(expected));
  }

  void rawKeysKeepTheirPercentSigns() {
    TExportCase c;
    c.FKeys["StartDocLine"] = "100% %s";
    c.FKeys["EndBody"] = "%d%%";
    c.FKeys["EndDocLine"] = "%";
    c.FKeys["LevelObjectEnd1"] = "e %s";
    c.FKeys["NewLine"] = "%n";
    c.FKeys["StartBody1"] = "B1 %%";
    c.Node(nullptr, c.Object("A", "TA", {{"p", "a\r\nb"}}));
    const std::string expected = Doc({"100% %s", "T Root", "", "B1 %", "B2 Root", "B3 view", "<1", "o A TA 24", "n p",
                                      "s a%nb", "e %s", "1>", "", "%d%%", "%"});
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(expected));
  }

  void anObjectsLinesFollowTheirTemplates_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("line");
    QTest::newRow("percent signs") << "LevelObjectStart1"
                                   << "%%%s%%%s%d%%"
                                   << "%A%TA24%";
    QTest::newRow("widths") << "LevelObjectStart1"
                            << "[%-3s][%s][%4d]"
                            << "[A  ][TA][  24]";
    QTest::newRow("indexed") << "LevelObjectStart1"
                             << "%1:s %0:s %2:d"
                             << "TA A 24";
    QTest::newRow("integer value, width") << "LevelValueInt1"
                                          << "i [%3d%%]"
                                          << "i [  7%]";
    QTest::newRow("text value, width") << "LevelValueStr1"
                                       << "s [%-3s]"
                                       << "s [a  ]";
    QTest::newRow("plain value, then a percent sign") << "LevelValueStr1"
                                                      << "s %s 100%%"
                                                      << "s a 100%";
    QTest::newRow("fewer directives") << "LevelObjectStart1"
                                      << "o %s %s"
                                      << "o A TA";
  }
  void anObjectsLinesFollowTheirTemplates() {
    QFETCH(QString, key);
    QFETCH(QString, pattern);
    QFETCH(QString, line);
    TExportCase c;
    c.FKeys[key.toStdString()] = pattern.toStdString();
    c.Node(nullptr, c.Object("A", "TA", {{"p", "a"}, {"q", "7"}}));
    std::vector<std::string> lines{"<1", "o A TA 24", "n p", "s a", "n q", "i 7", "e", "1>", ""};
    const std::map<QString, std::string> plain{
        {"LevelObjectStart1", "o A TA 24"}, {"LevelValueInt1", "i 7"}, {"LevelValueStr1", "s a"}};
    std::replace(lines.begin(), lines.end(), plain.at(key), line.toStdString());
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(Doc(Head() + lines + kTail)));
  }

  void aPatternThatDoesNotFitItsArgumentsFailsAndWritesNothing_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("text into StartLevel") << "StartLevel1"
                                          << "<%s";
    QTest::newRow("text into EndLevel") << "EndLevel1"
                                        << "%s>";
    QTest::newRow("text into LevelValueInt") << "LevelValueInt1"
                                             << "i %s";
    QTest::newRow("integer into LevelName") << "LevelName1"
                                            << "n %d";
    QTest::newRow("integer into LevelValueStr") << "LevelValueStr1"
                                                << "s %d";
    QTest::newRow("integer into the image index's place") << "LevelObjectStart1"
                                                          << "o %d";
    QTest::newRow("any directive in StartBody1") << "StartBody1"
                                                 << "B1 %s";
    QTest::newRow("any directive in PreBody") << "PreBody1"
                                              << "%d";
    QTest::newRow("argument beyond the last") << "TitleLine"
                                              << "T %4:s";
    QTest::newRow("unknown conversion") << "StartBody3"
                                        << "B3 %f";
    QTest::newRow("integer into StartBody2") << "StartBody2"
                                             << "B2 %d";
  }
  void aPatternThatDoesNotFitItsArgumentsFailsAndWritesNothing() {
    QFETCH(QString, key);
    QFETCH(QString, pattern);
    TExportCase c;
    c.FKeys[key.toStdString()] = pattern.toStdString();
    c.Node(nullptr, c.Object("A", "TA", {{"p", "1"}, {"q", "x"}}));
    QVERIFY(WriteFileBytes(c.FTarget, "earlier export"));
    TExportResult r;
    QCOMPARE(QByteArray::fromStdString(c.Run(&r)), QByteArray("earlier export"));
    QVERIFY(r.Outcome == TExportOutcome::Failed);
    QVERIFY2(r.Message.find(pattern.toStdString()) != std::string::npos, r.Message.c_str());
  }

  // ----------------------------------------------------------------- values
  void integerOrText_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("leading zero") << QByteArray("0120") << QByteArray("i 120");
    QTest::newRow("leading blank") << QByteArray(" 7") << QByteArray("i 7");
    QTest::newRow("plus sign") << QByteArray("+5") << QByteArray("i 5");
    QTest::newRow("dollar hex") << QByteArray("$1F") << QByteArray("i 31");
    QTest::newRow("x hex") << QByteArray("x1f") << QByteArray("i 31");
    QTest::newRow("0X hex") << QByteArray("0X1F") << QByteArray("i 31");
    QTest::newRow("hex bit pattern") << QByteArray("$FFFFFFFF") << QByteArray("i -1");
    QTest::newRow("negated hex") << QByteArray("-$10") << QByteArray("i -16");
    QTest::newRow("lowest") << QByteArray("-2147483648") << QByteArray("i -2147483648");
    QTest::newRow("highest") << QByteArray("2147483647") << QByteArray("i 2147483647");
    QTest::newRow("-19999") << QByteArray("-19999") << QByteArray("i -19999");
    QTest::newRow("empty") << QByteArray("") << QByteArray("s ");
    QTest::newRow("blanks only") << QByteArray("  ") << QByteArray("s   ");
    QTest::newRow("trailing blank") << QByteArray("12 ") << QByteArray("s 12 ");
    QTest::newRow("decimal point") << QByteArray("1.5") << QByteArray("s 1.5");
    QTest::newRow("beyond 32 bits") << QByteArray("2147483648") << QByteArray("s 2147483648");
    QTest::newRow("below 32 bits") << QByteArray("-2147483649") << QByteArray("s -2147483649");
    QTest::newRow("hex beyond 32 bits") << QByteArray("$100000000") << QByteArray("s $100000000");
    QTest::newRow("the -20000 exception") << QByteArray("-20000") << QByteArray("s -20000");
    QTest::newRow("the -20000 exception, zero-led") << QByteArray("-020000") << QByteArray("s -020000");
    QTest::newRow("letters") << QByteArray("abc") << QByteArray("s abc");
    QTest::newRow("sign only") << QByteArray("-") << QByteArray("s -");
    QTest::newRow("prefix only") << QByteArray("0x") << QByteArray("s 0x");
    QTest::newRow("two signs") << QByteArray("+-1") << QByteArray("s +-1");
    QTest::newRow("hex digits without prefix") << QByteArray("1F") << QByteArray("s 1F");
  }
  void integerOrText() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, line);
    TExportCase c;
    c.Node(nullptr, c.Object("A", "TA", {{"p", value.toStdString()}}));
    const std::string expected =
        Doc(Head() + std::vector<std::string>{"<1", "o A TA 24", "n p", line.toStdString(), "e", "1>", ""} + kTail);
    QCOMPARE(QByteArray::fromStdString(c.Run()), QByteArray::fromStdString(expected));
  }

  void lineBreaksInsideATextValue() {
    TExportCase c;
    c.Node(nullptr, c.Object("A", "TA", {{"a", "one\r\ntwo\r\nthree"}, {"b", "lone\nLF"}, {"c", "lone\rCR"}}));
    const std::string out = c.Run();
    QVERIFY(out.find("s one//two//three\r\n") != std::string::npos);
    QVERIFY(out.find("s lone\nLF\r\n") != std::string::npos);
    QVERIFY(out.find("s lone\rCR\r\n") != std::string::npos);
  }

  void bytesAreWrittenUnchangedWithCrLfAndNoByteOrderMark() {
    TExportCase c;
    const std::string utf8Name =
        "\xC3\x9C"
        "ber";                             // U+00DC
    const std::string latin1 = "caf\xE9";  // not UTF-8: passes unchanged all the same
    c.Node(nullptr, c.Object(utf8Name, "TA", {{"p", latin1}}));
    const std::string out = c.Run();
    QVERIFY(out.rfind("D\r\n", 0) == 0);  // no byte-order mark in front
    QVERIFY(out.find("o " + utf8Name + " TA 24\r\n") != std::string::npos);
    QVERIFY(out.find("s " + latin1 + "\r\n") != std::string::npos);
    for (size_t i = 0; i < out.size(); ++i)
      if (out[i] == '\n') QVERIFY(i > 0 && out[i - 1] == '\r');
  }

  // ------------------------------------------------------------ translation
  void translationFollowsTranslateXMLStyle_data() {
    QTest::addColumn<QString>("style");
    QTest::addColumn<bool>("translated");
    QTest::newRow("No") << "No" << false;
    QTest::newRow("n") << "n" << false;
    QTest::newRow("none") << "none" << false;
    QTest::newRow("Yes") << "Yes" << true;
    QTest::newRow("0") << "0" << true;
    QTest::newRow("false") << "false" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("no key") << "-" << true;
  }
  void translationFollowsTranslateXMLStyle() {
    QFETCH(QString, style);
    QFETCH(bool, translated);
    QTemporaryDir defs;
    WriteFileBytes(defs.filePath("XMLCodes.txt").toStdString(), "&lt;       <\r\n&gt;       >\r\n");
    SetExecutableFolderOverride(defs.path().toStdString() + "/");
    TExportCase c;
    if (style == "-")
      c.FKeys.erase("TranslateXMLStyle");
    else
      c.FKeys["TranslateXMLStyle"] = style.toStdString();
    c.FKeys["StartDocLine"] = "<raw>";
    c.FKeys["TitleLine"] = "<T> %s|%s|%s|%s";
    c.FKeys["StartBody2"] = "%s|%s|%s";
    c.FKeys["StartBody3"] = "%s|%s|%s";
    c.FKeys["NewLine"] = "<br>";
    c.FSource.Caption = "<cap>";
    c.FSource.AppTitle = "<app>";
    c.FSource.LoadedFileName = "/no<where>/<f>.obj";
    c.FSource.Today = "<d>";
    c.FSource.CurrentView = "<v>";
    c.FRoot->FName = "<root>";
    c.FRoot->Texts = {{338, "<338>"}, {339, "<339>"}};
    c.Node(nullptr, c.Object("<A>", "<TA>", {{"<p>", "<x>\r\n<y>"}, {"<q>", "60"}}));
    TExportResult r;
    const std::string out = c.Run(&r);
    SetExecutableFolderOverride({});
    QCOMPARE(QString::fromStdString(r.Message), QString());
    const std::vector<std::string> plain{"<raw>",
                                         "<T> <cap>|<app>  V" + GetFileVersionString({}) + "|<f>.obj|<root>",
                                         "",
                                         "B1",
                                         "<root>|<338>|<339>",
                                         "<f>.obj|<d>|<v>",
                                         "<1",
                                         "o <A> <TA> 24",
                                         "n <p>",
                                         "s <x><br><y>",
                                         "n <q>",
                                         "i 60",
                                         "e",
                                         "1>",
                                         "",
                                         "EB",
                                         "ED"};
    std::vector<std::string> expected = plain;
    if (translated) {
      expected[1] = "<T> &lt;cap&gt;|<app>  V" + GetFileVersionString({}) + "|&lt;f&gt;.obj|&lt;root&gt;";
      expected[4] = "&lt;root&gt;|&lt;338&gt;|&lt;339&gt;";
      expected[5] = "&lt;f&gt;.obj|&lt;d&gt;|&lt;v&gt;";
      expected[7] = "o &lt;A&gt; &lt;TA&gt; 24";
      expected[8] = "n &lt;p&gt;";
      expected[9] = "s &lt;x&gt;<br>&lt;y&gt;";
      expected[10] = "n &lt;q&gt;";
    }
    QCOMPARE(QByteArray::fromStdString(out), QByteArray::fromStdString(Doc(expected)));
  }

  void aMissingCharacterTableFailsTheTranslatingExport() {
    QTemporaryDir defs;  // no XMLCodes.txt
    SetExecutableFolderOverride(defs.path().toStdString() + "/");
    TExportCase c;
    c.FKeys.erase("TranslateXMLStyle");
    TExportResult r;
    const std::string out = c.Run(&r);
    SetExecutableFolderOverride({});
    QVERIFY(out.empty());
    QVERIFY(r.Outcome == TExportOutcome::Failed);
    QVERIFY2(r.Message.find("XMLCodes.txt") != std::string::npos, r.Message.c_str());
  }

  // ------------------------------------------------------------------- root
  void theRootIsTheLastTopLevelBlockWhateverTheTreeShows() {
    TExportCase c;
    c.FKeys["StartBody2"] = "B2 %s %s %s";
    TFakeObject* first = c.Object("First", "TF", {{"p", "1"}});
    gTopObjects->insert(gTopObjects->begin(), TObjectEntry{"first", first});
    c.FRoot->Texts = {{338, "r338"}, {339, "r339"}};
    c.FRoot->Shown = {{"p", "2"}};
    // The root shown first, then the other block.
    c.Node(nullptr, c.FRoot);
    c.Node(nullptr, first);
    std::string out = c.Run();
    QVERIFY(out.find("T Root\r\n") != std::string::npos);
    QVERIFY(out.find("B2 Root r338 r339\r\n") != std::string::npos);
    // The root hidden by the view: its name and properties still fill the lines.
    c.FTree.Clear();
    c.Node(nullptr, first);
    out = c.Run();
    QVERIFY(out.find("T Root\r\n") != std::string::npos);
    QVERIFY(out.find("B2 Root r338 r339\r\n") != std::string::npos);
    QVERIFY(out.find("o Root") == std::string::npos);
  }

  // ---------------------------------------------------------------- stopping
  void aTerminateRequestDuringTheWalkWritesNothing_data() {
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<bool>("written");
    QTest::newRow("before the second node") << 1 << false;
    QTest::newRow("deep in the tree") << 4 << false;
    QTest::newRow("before the last node") << 6 << false;
    QTest::newRow("after the check before the last node") << 7 << true;
  }
  void aTerminateRequestDuringTheWalkWritesNothing() {
    QFETCH(int, stopAfter);
    QFETCH(bool, written);
    TExportCase c;
    TObjectTreeNode* a = c.Node(nullptr, c.Object("A", "TA", {{"p", "1"}}));
    TObjectTreeNode* b = c.Node(a, c.Object("B", "TB", {{"p", "1"}}));
    TObjectTreeNode* cc = c.Node(b, c.Object("C", "TC", {{"p", "1"}}));
    c.Node(cc, c.Object("D", "TD", {{"p", "1"}}));
    c.Node(b, c.Object("E", "TE", {{"p", "1"}}));
    c.Node(nullptr, c.Object("F", "TF", {{"p", "1"}}));
    c.Node(nullptr, c.Object("G", "TG", {{"p", "1"}}));  // the 7th node visited
    int visited = 0;
    SetProgressHook([&] {
      if (++visited == stopAfter) SetApplicationTerminating(true);
    });
    QVERIFY(WriteFileBytes(c.FTarget, "earlier export"));
    TExportResult r;
    const std::string out = c.Run(&r);
    QVERIFY(r.Message.empty());
    if (written) {
      QVERIFY(r.Outcome == TExportOutcome::Written);
      QVERIFY(out.find("o G TG") != std::string::npos);
    } else {
      QVERIFY(r.Outcome == TExportOutcome::Stopped);
      QCOMPARE(QByteArray::fromStdString(out), QByteArray("earlier export"));
    }
  }

  void aVeryDeepTreeDoesNotExhaustTheStack() {
    TExportCase c;
    TObjectTreeNode* parent = nullptr;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) parent = c.Node(parent, c.Object("N", "T", {{"p", "1"}}));
    TExportResult r;
    const std::string out = c.Run(&r);
    QVERIFY(r.Outcome == TExportOutcome::Written);
    // Every node: start, object, name, value, end and the closing line.
    size_t lines = 0;
    for (char ch : out) lines += ch == '\n';
    QCOMPARE(lines, size_t(6 + 6 * depth + 1 + 2));
  }

  // ------------------------------------------------------------------- files
  void theFileNameTakesTheExportNameForTheLastExtension_data() {
    QTest::addColumn<QString>("objectFile");
    QTest::addColumn<QString>("exportName");
    QTest::addColumn<QString>("exportFile");
    QTest::newRow("plain") << "/data/order.obj"
                           << "xyz"
                           << "/data/order.xyz";
    QTest::newRow("no extension, dotted folder") << "/data/rel.2/order"
                                                 << "xyz"
                                                 << "/data/rel.2/order.xyz";
    QTest::newRow("only the last extension") << "/data/order.tar.obj"
                                             << "xyz"
                                             << "/data/order.tar.xyz";
    QTest::newRow("empty export name") << "/data/order.obj"
                                       << ""
                                       << "/data/order.";
    QTest::newRow("no folder") << "order.obj"
                               << "xyz"
                               << "order.xyz";
  }
  void theFileNameTakesTheExportNameForTheLastExtension() {
    QFETCH(QString, objectFile);
    QFETCH(QString, exportName);
    QFETCH(QString, exportFile);
    QCOMPARE(QString::fromStdString(ExportFileName(objectFile.toStdString(), exportName.toStdString())), exportFile);
  }

  void theObjectFileIsNeverReplacedByItsExport() {
    TExportCase c;
    const std::string objectFile = c.FDir.filePath("order").toStdString();
    QVERIFY(WriteFileBytes(objectFile, "object data"));
    c.FSource.LoadedFileName = objectFile;
    c.FTarget = objectFile;
    TExportResult r;
    QCOMPARE(QByteArray::fromStdString(c.Run(&r)), QByteArray("object data"));
    QVERIFY(r.Outcome == TExportOutcome::Failed);
    QVERIFY(r.Message.find(objectFile) != std::string::npos);
    // Nor through a link to it.
    const std::string link = c.FDir.filePath("order.x").toStdString();
    std::filesystem::create_symlink(objectFile, link);
    c.FTarget = link;
    QVERIFY(SaveCurrentViewToFile(link, "x", c.FSource).Outcome == TExportOutcome::Failed);
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(objectFile)), QByteArray("object data"));
  }

  void aFileThatCannotBeWrittenFailsNamingIt() {
    TExportCase c;
    c.FTarget = c.FDir.filePath("missing/folder/out.x").toStdString();
    TExportResult r;
    QVERIFY(c.Run(&r).empty());
    QVERIFY(r.Outcome == TExportOutcome::Failed);
    QVERIFY2(r.Message.find(c.FTarget) != std::string::npos, r.Message.c_str());
  }

  // --------------------------------------------------- the window's commands
  void theCommandsOfTheMainWindow() {
    TExampleFolder folder;
    dialogs::ResetForTests();
    TFrmWait wait;
    FrmWait = &wait;
    TFrmMorvoReader window;
    FrmMorvoReader = &window;

    // Nothing loaded: no file name, nothing written; an empty tree: no dialog.
    QCOMPARE(window.DoOutputExport(), QString());
    window.OutputClick(window.findChild<QAction*>("ActExport"));
    QCOMPARE(dialogs::Recorded().size(), 0);

    const QString objectFile = QString::fromStdString(folder.Path + "sample.obj");
    QVERIFY(window.OpenObjectFile(objectFile));
    QVERIFY(window.FFileLoaded);
    QCOMPARE(window.FDefaultExport, QString("tst"));

    // The silent export: beside the object file, the worked example (in file order) exactly.
    window.MnuFileOrderClick();
    const QString silent = window.DoOutputExport();
    QCOMPARE(silent, QString::fromStdString(folder.Path + "sample.tst"));
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(silent.toStdString())),
             QByteArray::fromStdString(folder.Expected()));
    QCOMPARE(wait.laWait->text(), QString("Exporting Please Wait."));
    std::filesystem::remove(silent.toStdString());

    // A menu caption with an accelerator mark; the user picks another extension.
    QAction item("t&st");
    const QString chosen = QString::fromStdString(folder.Path + "chosen.txt");
    dialogs::QueueFileAnswer(chosen);
    window.OutputClick(&item);
    QCOMPARE(dialogs::Recorded().size(), 1);
    const dialogs::TRecordedDialog save = dialogs::Recorded().first();
    QCOMPARE(save.Kind, QString("save"));
    QCOMPARE(save.Request.Title, QString("Morvo Object Reader Save All as tst"));
    QCOMPARE(save.Request.FileName, QString::fromStdString(folder.Path + "sample.tst"));
    QCOMPARE(save.Request.DefaultSuffix, QString("tst"));
    QCOMPARE(save.Request.Filters, QStringList{"tst File (*.tst)"});
    QVERIFY(save.Request.ConfirmOverwrite);
    QCOMPARE(QByteArray::fromStdString(ReadFileBytes(chosen.toStdString())),
             QByteArray::fromStdString(folder.Expected()));

    // Two marks lose only the first; cancelling writes nothing.
    dialogs::ClearRecorded();
    QAction twoMarks("&t&st");
    dialogs::QueueFileAnswer(QString());
    window.OutputClick(&twoMarks);
    QCOMPARE(dialogs::Recorded().first().Request.FileName, QString::fromStdString(folder.Path + "sample.t&st"));
    QVERIFY(!std::filesystem::exists(folder.Path + "sample.t&st"));

    // The tool bar button takes the stored default export; with none stored
    // the window's own, as the silent export does.
    dialogs::ClearRecorded();
    QObject button;
    dialogs::QueueFileAnswer(QString());
    window.OutputClick(&button);
    QCOMPARE(dialogs::Recorded().first().Request.FileName, QString::fromStdString(folder.Path + "sample.tst"));
    // A stored value that is no text names no export either.
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kSettingsKey, true));
      reg.WriteBinaryData("DefaultExport", "tst");
    }
    dialogs::ClearRecorded();
    dialogs::QueueFileAnswer(QString());
    window.OutputClick(&button);
    QCOMPARE(dialogs::Recorded().first().Request.FileName, QString::fromStdString(folder.Path + "sample.tst"));
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kSettingsKey, true));
      reg.DeleteValue("DefaultExport");
    }
    // So does the action of the same caption (Ctrl+E), not an export named "Export".
    WriteRegString("DefaultExport", "tst");
    dialogs::ClearRecorded();
    dialogs::QueueFileAnswer(QString());
    window.OutputClick(window.findChild<QAction*>("ActExport"));
    QCOMPARE(dialogs::Recorded().first().Request.FileName, QString::fromStdString(folder.Path + "sample.tst"));
    WriteRegString("DefaultExport", "");

    // A failing pattern: the export's message box under the window's caption;
    // the commands are enabled again afterwards.
    dialogs::ClearRecorded();
    std::string cfg = ReadFileBytes(folder.Path + "MorvoObject.cfg");
    cfg += "\r\n[bad]\r\nTranslateXMLStyle=no\r\nTitleLine=%d\r\n";
    QVERIFY(WriteFileBytes(folder.Path + "MorvoObject.cfg", cfg));
    window.SaveCurrentViewToFile(QString::fromStdString(folder.Path + "bad.out"), "bad");
    QCOMPARE(dialogs::Recorded().size(), 1);
    QCOMPARE(dialogs::Recorded().first().Kind, QString("message"));
    QCOMPARE(dialogs::Recorded().first().Flags, unsigned(MB_ICONEXCLAMATION | MB_OK));
    QCOMPARE(dialogs::Recorded().first().Title, window.windowTitle());
    QVERIFY2(dialogs::Recorded().first().Text.contains("%d"), qPrintable(dialogs::Recorded().first().Text));
    QVERIFY(!std::filesystem::exists(folder.Path + "bad.out"));
    if (QAction* act = window.findChild<QAction*>("ActExport")) QVERIFY(act->isEnabled());
    if (QAction* open = window.findChild<QAction*>("ActOpen")) QVERIFY(open->isEnabled());

    // During the walk the commands that would free or rebuild the tree, and
    // the exports, are disabled; afterwards each is as before and the view
    // panel shows the view again.
    QAction* open = window.findChild<QAction*>("ActOpen");
    QAction* exportAction = window.findChild<QAction*>("ActExport");
    QWidget* exportButton = window.findChild<QWidget*>("tbtnExport");
    QVERIFY(open && exportAction && exportButton);
    bool heldDuringWalk = true;
    SetProgressHook([&] {
      heldDuringWalk = heldDuringWalk && !open->isEnabled() && !exportAction->isEnabled() &&
                       !exportButton->isEnabled() && !window.acceptDrops();
      window.SetPanelText(3, "Patience ...");
    });
    QVERIFY(!window.DoOutputExport().isEmpty());
    QVERIFY(heldDuringWalk);
    QVERIFY(open->isEnabled() && exportAction->isEnabled() && exportButton->isEnabled() && window.acceptDrops());
    QCOMPARE(window.PanelText(3), window.FCurrentView);

    // Closing the window during the walk: no file, no message.
    dialogs::ClearRecorded();
    std::filesystem::remove(folder.Path + "sample.tst");
    SetProgressHook([&] { window.close(); });
    window.DoOutputExport();
    SetProgressHook(nullptr);
    SetApplicationTerminating(false);
    QVERIFY(!std::filesystem::exists(folder.Path + "sample.tst"));
    QCOMPARE(dialogs::Recorded().size(), 0);

    FrmMorvoReader = nullptr;
    FrmWait = nullptr;
  }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
