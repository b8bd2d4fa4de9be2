// The design object's factory and module state, the definition tables, the
// accessors of configuration, settings and version, the character table, and
// the definition files and samples that ship with the program.
#include <sys/stat.h>

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <set>

#include "Accessors.h"
#include "AppPaths.h"
#include "CodePage.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "Registry.h"
#include "StringUtil.h"
#include "TestSupport.h"
#include "Version.h"
#include "XMLTrans.h"

namespace {

std::vector<int>* gDestroyed = nullptr;

// Records the order in which the owning list destroys its objects.
class TRecordingObject : public TisMorvoObject {
 public:
  explicit TRecordingObject(int Tag) : FTag(Tag) {}
  ~TRecordingObject() override {
    if (gDestroyed) gDestroyed->push_back(FTag);
  }
  int FTag;
};

std::unique_ptr<TisMorvoObject> ObjectOfType(const std::string& typeName) {
  auto obj = std::make_unique<TisMorvoObject>();
  obj->FTypeName = typeName;
  return obj;
}

std::string Header(const std::string& typeName) { return "OBJECT TYPE=\"" + typeName + "\" NAME=\"n\" DELIM=;"; }

// The lines of a sample file decoded as the reader decodes it: UTF-16 LE when
// it starts with FF FE, windows-1252 otherwise.
QStringList DecodedSampleLines(const std::string& bytes) {
  const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  QStringDecoder decoder(utf16 ? QStringConverter::Utf16LE : QStringConverter::Latin1);
  // Latin-1 stands in for windows-1252: they agree on the accented letters.
  QString text = decoder.decode(QByteArray::fromStdString(bytes));
  text.replace("\r\n", "\n");
  return text.split('\n');
}

}  // namespace

class TestModelBase : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;

  std::string Path(const std::string& name) const { return FDir.path().toStdString() + "/" + name; }
  void Write(const std::string& name, const std::string& text) {
    QVERIFY(testsupport::WriteFileBytes(Path(name), text));
  }

 private slots:
  void init() {
    // Every test starts from a folder without definition files.
    for (const auto& entry : std::filesystem::directory_iterator(FDir.path().toStdString()))
      std::filesystem::remove_all(entry.path());
    SetExecutableFolderOverride(FDir.path().toStdString());
    FreeAllObjects();
  }
  void cleanup() {
    FreeAllObjects();
    SetExecutableFolderOverride("");
  }

  // --- factory ------------------------------------------------------------

  void factoryChoosesTheClassByTheBaseTypeNumber() {
    Write("ObjectTypNum.txt",
          "0010 InStruct\n0101 Trans\n0400 Seg400\n0401 Seg401\n0402 Seg402\n0403 Seg403\n0501 Elem\n"
          "0701 Conn1\n0702 Conn2\n0801 FlowIf\n0802 FlowOoMD\n0803 FlowOoML\n0903 ExtFiles\n1001 BaseDoc\n"
          "1002 OtherDoc\n");
    struct Case {
      const char* type;
      int number;
      bool (*isClass)(TisMorvoObject*);
    };
    auto plain = [](TisMorvoObject* o) { return typeid(*o) == typeid(TisMorvoObject); };
    const Case cases[] = {
        {"InStruct", 10, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_Input_Struct*>(o) != nullptr; }},
        {"Trans", 101, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_Translate_Table*>(o) != nullptr; }},
        {"Seg400", 400, plain},
        {"Seg401", 401, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_Segment*>(o) != nullptr; }},
        {"Seg402", 402, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_Segment*>(o) != nullptr; }},
        {"Seg403", 403, plain},
        {"Elem", 501, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_ODElement*>(o) != nullptr; }},
        {"Conn1", 701, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_PFC*>(o) != nullptr; }},
        {"Conn2", 702, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_PFC*>(o) != nullptr; }},
        {"FlowIf", 801, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_If*>(o) != nullptr; }},
        {"FlowOoMD", 802, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_OoMD*>(o) != nullptr; }},
        {"FlowOoML", 803, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_OoML*>(o) != nullptr; }},
        {"ExtFiles", 903, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_DC_ExtFiles*>(o) != nullptr; }},
        {"BaseDoc", 1001, [](TisMorvoObject* o) { return dynamic_cast<TisMorvoObject_Base_Document*>(o) != nullptr; }},
        {"OtherDoc", 1002, plain},
        {"Unknown", 0, plain},
        {"PropertyCollection", 0, plain},
    };
    for (const auto& c : cases) {
      auto obj = CreateObjectForHeader(Header(c.type));
      QVERIFY2(c.isClass(obj.get()), c.type);
      QCOMPARE(obj->FBaseTypeNr, c.number);
      // Only the base number is set: the header is parsed later by ReadObject.
      QCOMPARE(obj->FTypeNr, 0);
      QVERIFY(obj->FTypeName.empty());
    }
  }

  void factoryPassesAMissingTypeTableOn() {
    try {
      CreateObjectForHeader(Header("Segment"));
      QFAIL("no error for a missing ObjectTypNum.txt");
    } catch (const EMorvoError& e) {
      QVERIFY2(std::string(e.what()).find(Path("ObjectTypNum.txt")) != std::string::npos, e.what());
    }
  }

  // --- type numbers --------------------------------------------------------

  void typeLookupTakesTheFirstLineContainingTheNameWithExactCase() {
    Write("ObjectTypNum.txt", "0402 SubSegment\n0401 Segment\n0501 DocElement\n?777 Broken\n");
    QCOMPARE(ObjectOfType("Segment")->GetTypeNumber(), 402);  // substring of the earlier line
    QCOMPARE(ObjectOfType("SubSegment")->GetTypeNumber(), 402);
    QCOMPARE(ObjectOfType("segment")->GetTypeNumber(), 0);  // case counts
    QCOMPARE(ObjectOfType("")->GetTypeNumber(), 0);         // an empty name matches nothing
    QCOMPARE(ObjectOfType("Broken")->GetTypeNumber(), 0);   // no number in front
    QCOMPARE(ObjectOfType("0501")->GetTypeNumber(), 501);   // the number is part of the line
    QCOMPARE(ObjectOfType("DocElement")->GetTypeNumberText(), std::string("0501"));
  }

  void unknownTypeIsNotCachedButAKnownOneIs() {
    Write("ObjectTypNum.txt", "0401 Segment\n");
    auto fresh = ObjectOfType("Fresh");
    auto seg = ObjectOfType("Segment");
    QCOMPARE(fresh->GetTypeNumber(), 0);
    QCOMPARE(seg->GetTypeNumber(), 401);
    Write("ObjectTypNum.txt", "0010 Fresh\n1001 Segment\n");
    QCOMPARE(fresh->GetTypeNumber(), 0);  // the table in memory is kept until the next load
    FreeAllObjects();
    QCOMPARE(fresh->GetTypeNumber(), 10);
    QCOMPARE(fresh->GetTypeNumberText(), std::string("0010"));
    QCOMPARE(seg->GetTypeNumber(), 401);                   // cached for the object's life
    Write("ObjectTypNum.txt", "1001 Late\n0011 Fresh\n");  // as many lines as before
    FreeAllObjects();
    QCOMPARE(ObjectOfType("Late")->GetTypeNumberText(), std::string("1001"));
    QCOMPARE(ObjectOfType("Fresh")->GetTypeNumber(), 11);
  }

  void anEmptyTypeTableIsReadAgainOnTheNextCall() {
    Write("ObjectTypNum.txt", "");
    QCOMPARE(ObjectOfType("Segment")->GetTypeNumber(), 0);
    Write("ObjectTypNum.txt", "0401 Segment\n");
    QCOMPARE(ObjectOfType("Segment")->GetTypeNumber(), 401);
  }

  // --- property names ------------------------------------------------------

  void propertyNamesFollowTheTableRules() {
    Write("ObjectProperties.txt",
          "0338=Name A\n0012=Twelve\n0338=Name B\n339=Three digits\n0340=Size=big\n 12x=Odd\n"
          "0341 Weight\n0342=\nSEGMENT=Segment shown\nEmptyShown=\n");
    auto obj = ObjectOfType("Segment");
    QCOMPARE(obj->GetPropertyName(338), std::string("Name B"));       // the last line wins
    QCOMPARE(obj->GetPropertyName(10338), std::string("Name B"));     // runtime ids name alike
    QCOMPARE(obj->GetPropertyName(339), std::string("0339"));         // "339=" carries no id
    QCOMPARE(obj->GetPropertyName(340), std::string("Size=big"));     // after the first "=" only
    QCOMPARE(obj->GetPropertyName(12), std::string("Twelve"));        // " 12x" is no id
    QCOMPARE(obj->GetPropertyName(341), std::string("0341 Weight"));  // no "=": the whole line
    QCOMPARE(obj->GetPropertyName(342), std::string("0342"));         // empty name: the id
    QCOMPARE(obj->GetPropertyName(777), std::string("0777"));
    QCOMPARE(obj->GetPropertyName(20777), std::string("0777"));
    // Id 0: the type line, found without regard to case.
    QCOMPARE(obj->GetPropertyName(0), std::string("Segment shown"));
    QCOMPARE(ObjectOfType("Channel")->GetPropertyName(0), std::string("Channel"));
    QCOMPARE(ObjectOfType("EmptyShown")->GetPropertyName(0), std::string("EmptyShown"));
    QCOMPARE(ObjectOfType("")->GetPropertyName(0), std::string("0000"));
  }

  void propertyTableIsReloadedAfterFreeingAndMissingFileRaises() {
    Write("ObjectProperties.txt", "0001=Name\n");
    auto obj = ObjectOfType("X");
    QCOMPARE(obj->GetPropertyName(1), std::string("Name"));
    Write("ObjectProperties.txt", "0001=Title\n");
    QCOMPARE(obj->GetPropertyName(1), std::string("Name"));
    FreeAllObjects();
    QCOMPARE(obj->GetPropertyName(1), std::string("Title"));
    std::filesystem::remove(Path("ObjectProperties.txt"));
    FreeAllObjects();
    QVERIFY_THROWS_EXCEPTION(EMorvoError, obj->GetPropertyName(1));
  }

  // --- module state -------------------------------------------------------

  void freeAllObjectsBeforeAnyReadReleasesOnlyConfigurationAndFilter() {
    Write("MorvoObject.cfg", "[S]\nk=v\n");
    QCOMPARE(ReadCfgString("S", "k"), std::string("v"));
    QVERIFY(gCfgIni);
    gFieldFilter = std::make_unique<TStringList>(TStringList{"338"});
    gExtraFieldIds = std::make_unique<TLongIntArray>();
    gRuntimeIds = std::make_unique<TLongIntArray>();
    gRuntimeIds->Append(338);
    gViewMode = 2;
    gPropNames[0] = "1";
    gPropValues[0] = "{G}";
    gPropValues[1] = "shown";
    FreeAllObjects();
    QVERIFY(!gCfgIni && !gFieldFilter && !gExtraFieldIds);
    QVERIFY(!gAllObjects && !gTopObjects && !gRootObjects && !gTypeNumTable && !gPropNameTable);
    // Settings id lists, the view mode and the view arrays stay.
    QVERIFY(gRuntimeIds && gRuntimeIds->Count() == 1);
    QCOMPARE(gViewMode, 2);
    QCOMPARE(gPropValues[0], std::string("{G}"));
    QCOMPARE(gPropValues[1], std::string("shown"));
    FreeAllObjects();  // twice in a row: nothing more to do
    QVERIFY(gRuntimeIds && gPropValues[1] == "shown");
    gViewMode = 0;
    gRuntimeIds.reset();
  }

  void freeAllObjectsDestroysTheObjectsInListOrder() {
    std::vector<int> destroyed;
    gDestroyed = &destroyed;
    gAllObjects = std::make_unique<TAllObjectList>();
    gTopObjects = std::make_unique<TObjectList>();
    gRootObjects = std::make_unique<TObjectList>();
    gTypeNumTable = std::make_unique<TStringList>();
    gPropNameTable = std::make_unique<TTaggedLineList>();
    auto* child = new TRecordingObject(1);
    auto* parent = new TRecordingObject(2);
    parent->FChildren.push_back({"c", child});
    parent->FLinks.push_back({"c", child});
    gAllObjects->Append("c", child);
    gAllObjects->Append("p", parent);
    gTopObjects->push_back({"p", parent});
    gRootObjects->push_back({"p", parent});
    FreeAllObjects();
    gDestroyed = nullptr;
    QCOMPARE(destroyed, (std::vector<int>{1, 2}));
    QVERIFY(!gAllObjects && !gTopObjects && !gRootObjects && !gTypeNumTable && !gPropNameTable);
  }

  void allObjectListFindsKeysWithoutRegardToCaseFirstMatchFirst() {
    TAllObjectList list;
    auto* a = new TisMorvoObject;
    auto* b = new TisMorvoObject;
    auto* c = new TisMorvoObject;
    auto* d = new TisMorvoObject;
    list.Append("{AB-01}", a);
    list.Append("", b);
    list.Append("{ab-01}", c);
    list.Append("", d);
    QCOMPARE(list.IndexOfKey("{Ab-01}"), 0);
    QCOMPARE(list.IndexOfKey(""), 1);
    QCOMPARE(list.IndexOfKey("{AB-0}"), -1);  // whole keys only
    list.SetKey(0, "Renamed");
    QCOMPARE(list.IndexOfKey("{AB-01}"), 2);
    QCOMPARE(list.IndexOfKey("RENAMED"), 0);
    list.SetKey(1, "Second");  // re-keying an empty key leaves the next empty one findable
    QCOMPARE(list.IndexOfKey(""), 3);
    list.SetKey(3, "{AB-01}");
    QCOMPARE(list.IndexOfKey("{ab-01}"), 2);
    list.SetKey(2, "x");
    QCOMPARE(list.IndexOfKey("{ab-01}"), 3);
    QCOMPARE(list.Object(list.IndexOfKey("second")), b);
    // Keys beyond ASCII fold too (GUIDs are ASCII, captions need not be).
    list.Append("Übersicht", new TisMorvoObject);
    QCOMPARE(list.IndexOfKey("übersicht"), 4);
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.IndexOfKey("x"), -1);
  }

  void encodeDelimitersUsesTheFirstCharacter() {
    TisMorvoObject o;
    QCOMPARE(o.EncodeDelimiters(";a;;b;c"), std::string("\x87"
                                                        "a;b\x87"
                                                        "c"));
    QCOMPARE(o.EncodeDelimiters(";;x"), std::string(";x"));
    QCOMPARE(o.EncodeDelimiters(""), std::string());
  }

  // --- character table -----------------------------------------------------

  void characterTableOrderDecidesWhetherReplacementsAreReplacedAgain() {
    Write("XMLCodes.txt", "&amp;      &\n&lt;       <\n");
    LoadXMLTranslations();
    QCOMPARE(gXMLChars, std::string("&<"));
    QCOMPARE(TranslateXMLString("a<b"), std::string("a&lt;b"));
    Write("XMLCodes.txt", "&lt;       <\n&amp;      &\n");
    LoadXMLTranslations();  // every load replaces the table
    QCOMPARE(TranslateXMLString("a<b"), std::string("a&amp;lt;b"));
    QCOMPARE(TranslateXMLString("   "), std::string("   "));
    QCOMPARE(TranslateXMLString(""), std::string());
  }

  void characterTableLinesAreTrimmedAndOddLinesSkipped() {
    Write("XMLCodes.txt",
          "  &#32;     \n"  // column 12 a blank: blanks are replaced
          "short\n"         // no column 12: skipped, pairs stay aligned
          "\n"
          "&gt;       >ignored after column 12\n"
          "&eacute;   \xC3\n"  // a byte outside ASCII: skipped
          "x          \xA9\n");
    LoadXMLTranslations();
    QCOMPARE(gXMLChars, std::string(" >"));
    QCOMPARE(gXMLCodes, (std::vector<std::string>{"&#32;", "&gt;"}));
    QCOMPARE(TranslateXMLString("a b>c"), std::string("a&#32;b&gt;c"));
    QCOMPARE(TranslateXMLString(" b"), std::string("&#32;b"));  // not blanks only, though it begins so
    QCOMPARE(TranslateXMLString("\xC3\xA9t\xC3\xA9"), std::string("\xC3\xA9t\xC3\xA9"));
    for (size_t at = 0; at < 17; ++at) {  // wherever it stands in a longer text
      std::string text(17, 'x');
      text[at] = '>';
      QCOMPARE(TranslateXMLString(text), text.substr(0, at) + "&gt;" + text.substr(at + 1));
    }
  }

  void missingCharacterTableRaisesNamingThePathAndKeepsTheOldTable() {
    Write("XMLCodes.txt", "&amp;      &\n");
    LoadXMLTranslations();
    std::filesystem::remove(Path("XMLCodes.txt"));
    try {
      LoadXMLTranslations();
      QFAIL("no error for a missing XMLCodes.txt");
    } catch (const EMorvoError& e) {
      const std::string text = e.what();
      QVERIFY2(text.find(Path("XMLCodes.txt")) != std::string::npos, e.what());
      QVERIFY2(text.find("No such file") != std::string::npos, e.what());
    }
    QCOMPARE(TranslateXMLString("&"), std::string("&amp;"));
  }

  // --- configuration, settings, version --------------------------------------

  void configurationValuesComeBackAsTheProfileRulesSay() {
    const std::string longValue(3000, 'x');
    Write("MorvoObject.cfg", "[Views]\nQuoted=\"  inner  blanks  \"\nLong=" + longValue + "\nPlain =  v  \n");
    QCOMPARE(ReadCfgString("views", "quoted"), std::string("  inner  blanks  "));
    QCOMPARE(ReadCfgString("Views", "Long"), longValue.substr(0, 2047));
    QCOMPARE(ReadCfgString("Views", "Plain"), std::string("v"));
    QCOMPARE(ReadCfgString("Views", "Absent"), std::string());
    QCOMPARE(ReadCfgString("Nowhere", "Quoted"), std::string());
    Write("MorvoObject.cfg", "[Views]\nPlain=changed\n");
    QCOMPARE(ReadCfgString("Views", "Plain"), std::string("changed"));  // no copy is kept
    std::string before = "changed";
    for (const char* next : {"again", "agaiN"}) {  // the second keeps the size
      const TProfileCommand command;
      QCOMPARE(ReadCfgString("Views", "Plain"), before);  // the change before the command
      const auto time = std::filesystem::last_write_time(Path("MorvoObject.cfg"));
      Write("MorvoObject.cfg", std::string("[Views]\nPlain=") + next + "\n");
      std::filesystem::last_write_time(Path("MorvoObject.cfg"), time);  // as a coarse clock may leave it
      QCOMPARE(ReadCfgString("Views", "Plain"), before);                // one look at the file per command
      const TProfileCommand inner;
      QCOMPARE(ReadCfgString("Views", "Plain"), before);
      before = next;
    }
    QCOMPARE(ReadCfgString("Views", "Plain"), std::string("agaiN"));
    std::filesystem::remove(Path("MorvoObject.cfg"));
    QCOMPARE(ReadCfgString("Views", "Plain"), std::string());
    QCOMPARE(::mkfifo(Path("MorvoObject.cfg").c_str(), 0600), 0);  // read as no file, never waited on
    QCOMPARE(ReadCfgString("Views", "Plain"), std::string());
    std::filesystem::remove(Path("MorvoObject.cfg"));
  }

  void settingsKeyIsCreatedOnReadAndValuesRoundTrip() {
    {
      TRegistry reg;
      QVERIFY(!reg.KeyExists(kSettingsKey));
    }
    QCOMPARE(ReadRegString("DefaultView"), std::string());
    {
      TRegistry reg;
      QVERIFY(reg.KeyExists(kSettingsKey));
    }
    WriteRegString("DefaultView", "Full");
    QCOMPARE(ReadRegString("DefaultView"), std::string("Full"));
    QCOMPARE(ReadRegString("defaultview"), std::string("Full"));
  }

  void settingOfAnotherDataTypeRaisesOnRead() {
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kSettingsKey, true));
      reg.WriteBinaryData("Blob", std::string("\x01\x02", 2));
    }
    try {
      ReadRegString("Blob");
      QFAIL("no error for a binary value");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Invalid data type for 'Blob'"));
    }
  }

  void unusableSettingsStoreReadsEmptyAndRefusesWrites() {
    // A file where the store's folder should be: the key can be neither
    // opened nor created.
    Write("blocked/Kelbrun", "not a folder");
    struct TRestore {
      QByteArray saved = qgetenv("XDG_CONFIG_HOME");
      ~TRestore() { qputenv("XDG_CONFIG_HOME", saved); }
    } restore;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Path("blocked")));
    QCOMPARE(ReadRegString("DefaultView"), std::string());
    try {
      WriteRegString("DefaultView", "Full");
      QFAIL("a write to an unusable store passed silently");
    } catch (const EMorvoError& e) {
      QCOMPARE(std::string(e.what()), std::string("Failed to set data for 'DefaultView'"));
    }
  }

  void versionTextOnlyForTheProgramItself() {
    QCOMPARE(GetFileVersionString(ExecutablePath()), ProjectVersionText());
    QVERIFY(!ProjectVersionText().empty());
    Write("other.bin", "x");
    QCOMPARE(GetFileVersionString(Path("other.bin")), std::string("Error retrieving version"));
    QCOMPARE(GetFileVersionString(Path("missing.exe")), std::string("Error retrieving version"));
    QCOMPARE(GetFileVersionString(""), std::string("Error retrieving version"));
  }

  void booleanSettingTexts() {
    QCOMPARE(BoolToRegText(true), std::string("-1"));
    QCOMPARE(BoolToRegText(false), std::string("0"));
    for (const char* t : {"-1", "1", "7", "True", "TRUE", "true", "2.5"}) QVERIFY2(RegTextToBool(t, false), t);
    for (const char* t : {"0", "False", "fALSE", "-0", "0.0"}) QVERIFY2(!RegTextToBool(t, true), t);
    for (const char* t : {"", "yes", "no", "on", " "}) {
      QVERIFY2(RegTextToBool(t, true), t);
      QVERIFY2(!RegTextToBool(t, false), t);
    }
  }

  // --- shipped definition files and samples ---------------------------------

  void shippedTypeNamesEachFindTheirOwnLine() {
    SetExecutableFolderOverride(testsupport::BinDir());
    FreeAllObjects();
    const auto lines = LoadFileLines(testsupport::BinDir() + "/ObjectTypNum.txt");
    const auto props = LoadFileLines(testsupport::BinDir() + "/ObjectProperties.txt");
    const std::set<int> required = {1,   2,   3,   4,   5,   6,   10,  11,  12,  13,  101,  201, 301, 302, 303,
                                    304, 401, 402, 501, 510, 511, 512, 513, 514, 515, 550,  551, 552, 553, 554,
                                    555, 556, 557, 558, 559, 560, 561, 562, 563, 564, 601,  602, 603, 604, 605,
                                    606, 607, 608, 701, 702, 801, 802, 803, 899, 903, 1001, 1002};
    std::set<int> found;
    for (const auto& line : lines) {
      const int number = StrToIntDef(Copy(line, 1, 4), 0);
      found.insert(number);
      for (const auto& name : QString::fromStdString(line.substr(5)).split(' ', Qt::SkipEmptyParts)) {
        auto obj = ObjectOfType(name.toStdString());
        QCOMPARE(obj->GetTypeNumber(), number);
        QVERIFY2(obj->GetPropertyName(0) != obj->FTypeName, qPrintable(name));  // has a display name
      }
      // The reader's own words are no types.
      QVERIFY(line.find("PropertyCollection") == std::string::npos);
    }
    for (int n : required) QVERIFY2(found.count(n), qPrintable(QString::number(n)));
    QVERIFY(!props.empty());
  }

  void shippedCharacterTableEscapesXml() {
    SetExecutableFolderOverride(testsupport::BinDir());
    LoadXMLTranslations();
    QCOMPARE(gXMLChars.substr(0, 1), std::string("&"));
    QCOMPARE(TranslateXMLString("<a href=\"x\">Tom & Jerry's</a>"),
             std::string("&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&apos;s&lt;/a&gt;"));
  }

  void shippedConfigurationDefinesEveryViewExportAndCode() {
    SetExecutableFolderOverride(testsupport::BinDir());
    FreeAllObjects();
    const auto views = QString::fromStdString(ReadCfgString("Settings", "Views")).split(',');
    const auto exports = QString::fromStdString(ReadCfgString("Settings", "OutPuts")).split(',');
    QVERIFY(views.size() >= 3 && exports.size() >= 3);
    for (const auto& v : views) QVERIFY2(!ReadCfgString(v.toStdString(), "Info").empty(), qPrintable(v));
    const char* perLevel[] = {"StartLevel",    "EndLevel",      "LevelObjectStart", "LevelName",
                              "LevelValueInt", "LevelValueStr", "LevelObjectEnd"};
    const char* once[] = {"StartDocLine", "TitleLine", "PreBody1", "StartBody1",        "StartBody2",
                          "StartBody3",   "NewLine",   "EndBody",  "TranslateXMLStyle", "EndDocLine"};
    for (const auto& e : exports) {
      const std::string section = e.toStdString();
      for (const char* key : once) QVERIFY2(!ReadCfgString(section, key).empty(), key);
      for (int n = 1; n <= 4; ++n)
        for (const char* key : perLevel)
          QVERIFY2(!ReadCfgString(section, key + std::to_string(n)).empty(), qPrintable(e + key));
    }
    auto obj = ObjectOfType("SEGMENT");
    for (const auto& id : QString::fromStdString(ReadCfgString("Settings", "Specials")).split(',')) {
      QVERIFY2(!ReadCfgString("Specials", FormatId4(id.toInt())).empty(), qPrintable(id));
      QVERIFY2(obj->GetPropertyName(id.toInt()) != FormatId4(id.toInt()), qPrintable(id));
    }
    for (const char* key : {"Property", "Value", "SetFilterTo", "ExportToFile", "ExternalFile", "TransTableFormat"})
      QVERIFY2(!ReadCfgString("Translations", key).empty(), key);
  }

  void samplesAreDecodableObjectFiles() {
    SetExecutableFolderOverride(testsupport::BinDir());
    FreeAllObjects();
    const std::string folder = std::string(MORVO_SOURCE_DIR) + "/samples";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string bytes = testsupport::ReadFileBytes(entry.path().string());
      const QStringList lines = DecodedSampleLines(bytes);
      const QString name = QString::fromStdString(entry.path().filename().string());
      ++files;
      const auto marker =
          lines.indexOf(QRegularExpression("^!!EndOfControl$", QRegularExpression::CaseInsensitiveOption));
      QVERIFY2(marker >= 2, qPrintable(name));
      int blocks = 0;
      int depth = 0;
      for (qsizetype i = marker + 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.startsWith("OBJECT")) {
          QVERIFY2(depth == 0, qPrintable(name + ": top-level block inside another"));
          ++blocks;
        }
        if (line.contains("OBJECT")) {
          const auto type = QRegularExpression("TYPE=\"([^\"]*)\"").match(line).captured(1);
          QVERIFY2(!type.isEmpty(), qPrintable(line));
          if (type != "PropertyCollection") {
            auto obj = ObjectOfType(type.toStdString());
            QVERIFY2(obj->GetTypeNumber() != 0, qPrintable(name + ": " + type));
          }
          ++depth;
        }
        if (line.trimmed() == "}") --depth;
        QVERIFY2(depth >= 0, qPrintable(name));
      }
      QVERIFY2(blocks >= 2 && depth == 0, qPrintable(name));
    }
    QVERIFY(files >= 3);
    QVERIFY(testsupport::ReadFileBytes(folder + "/Invoice.dcl").substr(0, 2) == "\xFF\xFE");
  }

  // The reader itself takes every sample to its end: every block becomes an
  // object (collections excepted), names arrive as UTF-8 whatever the file's
  // encoding, and links and roots are resolved.
  void samplesAreReadWholeByTheReader() {
    SetExecutableFolderOverride(testsupport::BinDir());
    const std::string folder = std::string(MORVO_SOURCE_DIR) + "/samples";
    std::set<std::string> names;
    int resolvedLinks = 0, unresolvedLinks = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const QString file = QString::fromStdString(entry.path().filename().string());
      QStringList lines = DecodedSampleLines(testsupport::ReadFileBytes(entry.path().string()));
      if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the break at the end
      const int blocks = static_cast<int>(lines.filter(QRegularExpression("^\\s*OBJECT ")).size() -
                                          lines.filter("TYPE=\"PropertyCollection\"").size());
      const int topBlocks = static_cast<int>(lines.filter(QRegularExpression("^OBJECT ")).size());

      FreeAllObjects();
      int result = -2;
      try {
        result = ReadObjectFile(entry.path().string());
      } catch (const EMorvoError& e) {
        QFAIL(qPrintable(file + ": " + e.what()));
      }
      ++files;
      QVERIFY2(result == lines.size(), qPrintable(file + ": stopped at " + QString::number(result)));
      QVERIFY2(gAllObjects && gAllObjects->Count() == blocks, qPrintable(file));
      QVERIFY2(gTopObjects && static_cast<int>(gTopObjects->size()) == topBlocks, qPrintable(file));
      QVERIFY2(gRootObjects && !gRootObjects->empty(), qPrintable(file));
      for (const auto& e : gAllObjects->Entries()) {
        TisMorvoObject* obj = e.Object;
        QVERIFY2(obj->GetTypeNumber() != 0, qPrintable(file + ": " + QString::fromStdString(obj->FTypeName)));
        QVERIFY2(IsValidUtf8(obj->FName) && !obj->FName.empty(), qPrintable(file));
        QVERIFY2(!obj->FGUID.empty(), qPrintable(file + ": " + QString::fromStdString(obj->FName)));
        QCOMPARE(obj->FPropIds.Count(), static_cast<int>(obj->FLines.size()));
        names.insert(obj->FName);
        for (const auto& link : obj->FLinks) ++(link.Object ? resolvedLinks : unresolvedLinks);
      }
    }
    QVERIFY(files >= 3);
    QVERIFY(resolvedLinks > 0);
    QVERIFY(unresolvedLinks > 0);  // a link to an object of another file stays a name
    QVERIFY(
        names.count("Accents fran\xC3\xA7"
                    "ais"));  // windows-1252 in the file
    FreeAllObjects();
  }
};

QTEST_GUILESS_MAIN(TestModelBase)
#include "tst_model_base.moc"
