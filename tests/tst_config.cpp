// The configuration window, the file-type association it writes (classes
// root and the desktop's own files), the fonts it hands to the main window,
// and the "/c" and "/First" switches.
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "Accessors.h"
#include "AppPaths.h"
#include "DesktopEntries.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "ExplorerAssociation.h"
#include "MessageBox.h"
#include "MessagePump.h"
#include "MorvoObjRead.h"
#include "RecentFiles.h"
#include "Registry.h"
#include "TestSupport.h"
#include "UnattendedCommands.h"
#include "WholeFile.h"
#include "fConfig.h"
#include "fMain.h"

namespace {

const char* const kSettingNames[13] = {
    "DefaultView",    "DefaultExport",     "Quillset1xCodePage",  "ExternalEditor",   "OpenNonQSFiles",
    "SortProperties", "PropertyListFont",  "PropertyListCharset", "PropertyListSize", "PropertyRowHeigth",
    "ObjectListFont", "ObjectListCharset", "ObjectListSize"};

// The default value of a classes-root key; "<no key>" when it is absent.
std::string ClassesDefault(const std::string& Key) {
  TRegistry reg(TRegRoot::ClassesRoot);
  if (!reg.OpenKey(Key, false)) return "<no key>";
  return reg.ReadString("");
}

void SetClassesDefault(const std::string& Key, const std::string& Value) {
  TRegistry reg(TRegRoot::ClassesRoot);
  QVERIFY(reg.OpenKey(Key, true));
  reg.WriteString("", Value);
}

// Every value of the settings key, name and text, in stored order.
QStringList SettingsSnapshot() {
  TRegistry reg;
  QStringList out;
  if (!reg.OpenKey(kSettingsKey, false)) return out;
  for (const std::string& name : reg.GetValueNames()) out << QString::fromStdString(name + "=" + reg.ReadString(name));
  return out;
}

template <typename T>
T* Child(const char* Name) {
  T* w = FrmConfig ? FrmConfig->findChild<T*>(Name) : nullptr;
  if (!w) qFatal("no component %s", Name);
  return w;
}
QCheckBox* Box(const char* Name) { return Child<QCheckBox>(Name); }
QRadioButton* Radio(const char* Name) { return Child<QRadioButton>(Name); }
QComboBox* Combo(const char* Name) { return Child<QComboBox>(Name); }
void Click(const char* Name) { Child<QAbstractButton>(Name)->click(); }

bool WriteText(const QString& Path, const QString& Text) {
  return testsupport::WriteFileBytes(Path.toStdString(), Text.toStdString());
}
QString ReadText(const QString& Path) { return QString::fromStdString(testsupport::ReadFileBytes(Path.toStdString())); }

// A caption as the user reads it: accelerator marks gone, "&&" a plain "&".
QString Shown(QString Caption) {
  Caption.replace("&&", QString(QChar(1)));
  Caption.remove('&');
  return Caption.replace(QChar(1), '&');
}

}  // namespace

class TestConfig : public QObject {
  Q_OBJECT

  QTemporaryDir FHome;
  QString FDefs;
  QString FTools;  // a search path of fake editors
  QByteArray FOldPath;

  void WriteCfg(const QString& Settings) {
    QString text = ReadText(QString::fromStdString(testsupport::TestDataDir()) + "/config/MorvoObject.cfg");
    if (!Settings.isEmpty()) text.replace(QRegularExpression("\\[Settings\\]\\n(.*\\n)*?\\n"), Settings + "\n\n");
    QVERIFY(WriteText(FDefs + "/MorvoObject.cfg", text));
  }

  // An executable script standing in for an editor.
  QString FakeProgram(const QString& Path) {
    WriteText(Path, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(Path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return Path;
  }

  void ShowConfig() {
    FrmConfig->show();
    QVERIFY(FrmConfig->isVisible());
  }

 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    qputenv("XDG_CONFIG_HOME", (FHome.path() + "/config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", (FHome.path() + "/etc").toUtf8());
    qputenv("XDG_DATA_HOME", (FHome.path() + "/data").toUtf8());
    qputenv("XDG_DATA_DIRS", (FHome.path() + "/share").toUtf8());
    qputenv("XDG_CURRENT_DESKTOP", "");
    FDefs = FHome.path() + "/defs";
    FTools = FHome.path() + "/tools";
    QDir().mkpath(FDefs);
    QDir().mkpath(FTools);
    QDir().mkpath(FHome.path() + "/config");
    qunsetenv("USERNAME");  // the login name must come from the user database
    FOldPath = qgetenv("PATH");
    // No editor of the machine running the tests may be proposed.
    qputenv("PATH", FTools.toUtf8());
    SetExecutableFolderOverride(FDefs.toStdString());
    dialogs::SetNonInteractive(true);
  }

  void cleanupTestCase() {
    FreeAllForms();
    qputenv("PATH", FOldPath);
  }

  void init() {
    WriteCfg({});
    QFile::remove(QString::fromStdString(TRegistry::StoreFileName(TRegRoot::CurrentUser)));
    QFile::remove(QString::fromStdString(TRegistry::StoreFileName(TRegRoot::ClassesRoot)));
    QFile::remove(FHome.path() + "/config/mimeapps.list");
    QDir(FTools).removeRecursively();
    QDir().mkpath(FTools);
    QDir(FHome.path() + "/data/applications").removeRecursively();
    dialogs::ResetForTests();
    TFrmConfig::SetArgumentsOverride({"morvo-reader"});
    gSaveDlgPos = true;
    SetApplicationTerminating(false);
    CreateAllForms();
    QVERIFY(FrmConfig);
  }

  void cleanup() {
    if (FrmConfig && FrmConfig->isVisible()) FrmConfig->reject();
  }

  // --- what a showing reads

  void comboListsSplitAtEveryComma() {
    QComboBox combo;
    FillComboFromList("A,,B,", &combo);
    QCOMPARE(combo.count(), 3);
    QCOMPARE(combo.itemText(0), QString("A"));
    QCOMPARE(combo.itemText(1), QString());
    QCOMPARE(combo.itemText(2), QString("B"));
    QCOMPARE(combo.currentIndex(), 0);
    FillComboFromList(" x , y", &combo);
    QCOMPARE(combo.itemText(0), QString(" x "));
    QCOMPARE(combo.itemText(1), QString(" y"));
    FillComboFromList("", &combo);
    QCOMPARE(combo.count(), 0);
    QCOMPARE(combo.currentIndex(), -1);
  }

  void freshSettingsShowDefaults() {
    WriteCfg("[Settings]\nViews=A,,B,\nOutPuts=html,xml\nQS1xCodePages=windows-1252,UTF-8");
    ShowConfig();
    QCOMPARE(Combo("cbViewType")->count(), 3);
    QCOMPARE(Combo("cbViewType")->currentText(), QString("A"));
    QCOMPARE(Combo("cbExportType")->currentText(), QString("html"));
    QCOMPARE(Combo("cbQS1xCodePage")->currentText(), QString("windows-1252"));
    QVERIFY(Box("cxExternalNonQS")->isChecked());
    QVERIFY(Box("cxSortProperties")->isChecked());
    QCOMPARE(Child<QDoubleSpinBox>("seRowheight")->value(), 2.45);
    QVERIFY(!Box("cxConnectMorvoFiles")->isChecked());
    QVERIFY(!Box("cxImediateExport")->isEnabled());
    QVERIFY(!Child<QLineEdit>("edEditor")->isEnabled());
    // None of the four was stored: the window falls back to Open.
    QVERIFY(Radio("rbOpen")->isChecked());
    QCOMPARE(Child<QLabel>("laDefAction")->text(),
             QString("No connection from Explorer to ZIB, please select \"Connect\""));
    // Reading opened the keys with create: they exist now, empty.
    QCOMPARE(ClassesDefault("MorvoDCLFile"), std::string());
    QCOMPARE(ClassesDefault("MorvoDCLFile\\shell\\Edit"), std::string());
    QCOMPARE(ClassesDefault(".dcl"), std::string("<no key>"));
  }

  void storedSettingsAreMatchedWithoutCase() {
    const QString editor = FakeProgram(FHome.path() + "/my editor");
    WriteRegString("DefaultView", "full");
    WriteRegString("DefaultExport", "pdf");  // no such export: the first one
    WriteRegString("Quillset1xCodePage", "utf-8");
    WriteRegString("ExternalEditor", editor.toStdString());
    WriteRegString("OpenNonQSFiles", "fAlSe");
    WriteRegString("SortProperties", "yes");  // neither number nor word: default
    WriteRegString("PropertyRowHeigth", "9");
    ShowConfig();
    QCOMPARE(Combo("cbViewType")->currentText(), QString("Full"));
    QCOMPARE(Combo("cbExportType")->currentText(), QString("html"));
    QCOMPARE(Combo("cbQS1xCodePage")->currentText(), QString("UTF-8"));
    QCOMPARE(Child<QLineEdit>("edEditor")->text(), editor);
    QVERIFY(!Box("cxExternalNonQS")->isChecked());
    QVERIFY(Box("cxSortProperties")->isChecked());
    QCOMPARE(Child<QDoubleSpinBox>("seRowheight")->value(), 5.0);
    FrmConfig->reject();

    WriteRegString("PropertyRowHeigth", "tall");
    WriteRegString("OpenNonQSFiles", "-7");
    WriteRegString("SortProperties", "0");
    ShowConfig();
    QCOMPARE(Child<QDoubleSpinBox>("seRowheight")->value(), 2.45);
    QVERIFY(Box("cxExternalNonQS")->isChecked());
    QVERIFY(!Box("cxSortProperties")->isChecked());
  }

  void valuesThatAreNoTextReadAsAbsent() {
    // A showing that ticks everything, so a stale state would show.
    TFrmConfig::SetArgumentsOverride({"morvo-reader", "/c"});
    ShowConfig();
    FrmConfig->reject();
    TFrmConfig::SetArgumentsOverride({"morvo-reader"});
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kSettingsKey, true));
      reg.WriteBinaryData("PropertyRowHeigth", "\x01\x02");
      reg.WriteBinaryData("DefaultView", "full");
    }
    {
      TRegistry classes(TRegRoot::ClassesRoot);
      QVERIFY(classes.OpenKey("MorvoDCLFile\\shell", true));
      classes.WriteBinaryData("", "Export");
    }
    WriteRegString("SortProperties", "0");
    const size_t reports = dialogs::Recorded().size();
    ShowConfig();
    QCOMPARE(dialogs::Recorded().size(), reports);
    QCOMPARE(Child<QDoubleSpinBox>("seRowheight")->value(), 2.45);
    QCOMPARE(Combo("cbViewType")->currentIndex(), 0);
    // Read afresh, not left over from the showing before.
    QVERIFY(!Box("cxSortProperties")->isChecked());
    QVERIFY(!Box("cxConnectMorvoFiles")->isChecked());
    QVERIFY(!Box("cxImediateExport")->isChecked());
    QVERIFY(Radio("rbOpen")->isChecked());
  }

  void typedCodePageIsStoredButNotShownAgain() {
    ShowConfig();
    Combo("cbQS1xCodePage")->setEditText("koi8-r");
    Click("BtnOK");
    QCOMPARE(ReadRegString("Quillset1xCodePage"), std::string("koi8-r"));
    ShowConfig();
    QCOMPARE(Combo("cbQS1xCodePage")->currentText(), QString("windows-1252"));
  }

  void onlyTheFirstExtensionIsReadBack() {
    SetClassesDefault("MorvoDCLFile", "Morvo DCL File");
    SetClassesDefault("MorvoDCLFile\\shell", "Export");
    SetClassesDefault("MorvoDCLFile\\shell\\Export", "ZIB E&xport");
    SetClassesDefault("MorvoDCLFile\\shell\\Package", "Pack it");  // no verb name in it
    SetClassesDefault("MorvoDCLFile\\shell\\Edit", "E&dit here");  // the accelerator goes first
    SetClassesDefault("MorvoFUNFile\\shell", "Package");
    ShowConfig();
    QVERIFY(Box("cxConnectMorvoFiles")->isChecked());
    QVERIFY(Box("cxImediateExport")->isChecked());
    QVERIFY(!Box("cxImediatePackage")->isChecked());
    QVERIFY(Box("cxOpenWithEditor")->isChecked());
    QVERIFY(Radio("rbExport")->isChecked());
    QVERIFY(!Radio("rbPackage")->isChecked());
    QCOMPARE(Child<QLabel>("laDefAction")->text(), QString("DefaultExplorer action: Export"));
    FrmConfig->reject();

    // The type name compares with exact case.
    SetClassesDefault("MorvoDCLFile", "morvo dcl file");
    ShowConfig();
    QVERIFY(!Box("cxConnectMorvoFiles")->isChecked());
    QVERIFY(!Box("cxImediateExport")->isEnabled());
  }

  void firstRunSwitchTicksTheWholeAssociation() {
    WriteRegString("SortProperties", "0");
    SetClassesDefault("MorvoDCLFile\\shell", "Package");
    TFrmConfig::SetArgumentsOverride({"morvo-reader", "/C"});
    ShowConfig();
    for (const char* name :
         {"cxConnectMorvoFiles", "cxImediateExport", "cxOpenWithEditor", "cxImediatePackage", "cxSortProperties"})
      QVERIFY2(Box(name)->isChecked(), name);
    QVERIFY(Radio("rbOpen")->isChecked());
    QVERIFY(!Radio("rbPackage")->isChecked());
    QVERIFY(Child<QLineEdit>("edEditor")->isEnabled());
    FrmConfig->reject();

    TFrmConfig::SetArgumentsOverride({"morvo-reader", "/cc"});
    ShowConfig();
    QVERIFY(!Box("cxConnectMorvoFiles")->isChecked());
  }

  void defaultActionFallsBackToOpen() {
    ShowConfig();
    Click("cxConnectMorvoFiles");
    Click("cxImediateExport");
    Click("rbExport");
    QVERIFY(Radio("rbExport")->isChecked());
    QVERIFY(!Radio("rbOpen")->isChecked());
    QCOMPARE(Child<QLabel>("laDefAction")->text(), QString("DefaultExplorer action: Export"));
    // Clicking the ticked one again keeps it ticked.
    Click("rbExport");
    QVERIFY(Radio("rbExport")->isChecked());
    Click("cxImediateExport");
    QVERIFY(Radio("rbOpen")->isChecked());
    QVERIFY(!Radio("rbExport")->isChecked());
    QCOMPARE(Child<QLabel>("laDefAction")->text(), QString("DefaultExplorer action: Open"));
    // A default action whose verb is off cannot be chosen.
    Click("rbPackage");
    QVERIFY(Radio("rbOpen")->isChecked());
    Click("cxOpenWithEditor");
    QVERIFY(Child<QLineEdit>("edEditor")->isEnabled());
    Click("rbOpenEditor");
    QCOMPARE(Child<QLabel>("laDefAction")->text(), QString("DefaultExplorer action: Open with Editor"));
    Click("cxConnectMorvoFiles");
    QVERIFY(!Child<QLineEdit>("edEditor")->isEnabled());
    QVERIFY(!Radio("rbOpenEditor")->isEnabled());
    QVERIFY(Child<QLabel>("laDefAction")->text().startsWith("No connection"));
  }

  // --- OK, Cancel and the reset

  void okWritesEverySettingInOrder() {
    qputenv("MORVO_TOOLS", FTools.toUtf8());
    ShowConfig();
    Combo("cbViewType")->setCurrentIndex(2);
    Child<QLineEdit>("edEditor")->setText("%morvo_tools%/ed %UserName%");
    Box("cxExternalNonQS")->setChecked(false);
    Child<QDoubleSpinBox>("seRowheight")->setValue(2.45);
    dialogs::QueueFontAnswer(QFont("Morvo Grid Face", 10));
    Click("btnPropTreeFont");
    dialogs::QueueFontAnswer(QFont("Morvo Tree Face", 12));
    Click("btnObjTreeFont");
    Click("BtnOK");
    QVERIFY(!FrmConfig->isVisible());
    QCOMPARE(FrmConfig->result(), int(QDialog::Accepted));

    QStringList expected;
    const std::string editor = FTools.toStdString() + "/ed " + GetUserNameString();
    const std::string values[13] = {"Runtime", "html", "windows-1252",    editor, "0", "-1", "Morvo Grid Face", "1",
                                    "10",      "2.45", "Morvo Tree Face", "1",    "12"};
    for (int i = 0; i < 13; ++i) expected << QString::fromStdString(std::string(kSettingNames[i]) + "=" + values[i]);
    QCOMPARE(SettingsSnapshot(), expected);

    // The fonts reach the main window at once; the header row follows the factor.
    QCOMPARE(FrmMorvoReader->findChild<QTableWidget*>("PropertyGrid")->font().family(), QString("Morvo Grid Face"));
    QCOMPARE(FrmMorvoReader->findChild<QTableWidget*>("PropertyGrid")->rowHeight(0), 24);
    QCOMPARE(FrmMorvoReader->findChild<QTreeView*>("ObjectTree")->font().family(), QString("Morvo Tree Face"));
    QCOMPARE(FrmMorvoReader->findChild<QTreeView*>("ObjectTree")->font().pointSize(), 12);
  }

  void configCommandRefreshesTheGridWhateverTheResult() {
    dialogs::QueueDialogAction([](QDialog* Dialog) {
      dialogs::QueueFontAnswer(QFont("Morvo Grid Face", 10));
      Dialog->findChild<QPushButton*>("btnPropTreeFont")->click();
      Dialog->findChild<QPushButton*>("BtnOK")->click();
    });
    FrmMorvoReader->MnuConfigClick();
    auto* grid = FrmMorvoReader->findChild<QTableWidget*>("PropertyGrid");
    QCOMPARE(grid->rowHeight(0), 24);
    QCOMPARE(grid->rowHeight(1), 24);

    // Cancelled, the grid is still refreshed from the values stored elsewhere.
    WriteRegString("PropertyListSize", "8");
    dialogs::QueueDialogAction([](QDialog* Dialog) { Dialog->findChild<QPushButton*>("btnCancel")->click(); });
    FrmMorvoReader->MnuConfigClick();
    QCOMPARE(grid->rowHeight(0), 19);
    QCOMPARE(grid->rowHeight(1), 19);
    QCOMPARE(dialogs::Recorded().front().Text, QString("FrmConfig"));
  }

  void fontsAndRowHeightFromStoredValues() {
    QTreeView tree;
    QTableWidget grid(1, 2);
    grid.setRowHeight(0, 18);
    const QString designed = tree.font().family();
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.rowHeight(0), 18);  // no face stored: as designed
    QCOMPARE(tree.font().family(), designed);

    WriteRegString("PropertyListFont", "Morvo Grid Face");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.font().pointSize(), 8);
    QCOMPARE(grid.rowHeight(0), 19);
    QCOMPARE(FontCharset(&grid), 1);
    WriteRegString("PropertyListSize", "10");
    WriteRegString("PropertyRowHeigth", "abc");
    WriteRegString("PropertyListCharset", "238");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.rowHeight(0), 24);
    QCOMPARE(FontCharset(&grid), 238);
    WriteRegString("PropertyRowHeigth", "0.5");
    WriteRegString("PropertyListSize", "x");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.rowHeight(0), 4);
    QCOMPARE(tree.font().family(), designed);
    // Sizes and character sets are decimal; other notations give the defaults.
    WriteRegString("PropertyRowHeigth", "2.45");
    WriteRegString("PropertyListSize", "$C");
    WriteRegString("PropertyListCharset", "0xEE");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.rowHeight(0), 19);
    QCOMPARE(FontCharset(&grid), 1);
    WriteRegString("PropertyListSize", " 12");
    WriteRegString("PropertyListCharset", "12 ");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(grid.font().pointSize(), 12);
    QCOMPARE(FontCharset(&grid), 1);

    WriteRegString("ObjectListFont", "Morvo Tree Face");
    WriteRegString("ObjectListSize", "0");
    ApplyStoredFonts(&tree, &grid);
    QCOMPARE(tree.font().family(), QString("Morvo Tree Face"));
    QCOMPARE(tree.font().pointSize(), 8);
  }

  void cancelWritesNoSetting() {
    WriteRegString("DefaultView", "Design");
    const QStringList before = SettingsSnapshot();
    ShowConfig();
    Combo("cbViewType")->setCurrentIndex(1);
    Click("cxConnectMorvoFiles");
    Click("btnCancel");
    QCOMPARE(FrmConfig->result(), int(QDialog::Rejected));
    QCOMPARE(SettingsSnapshot(), before);
    QCOMPARE(ClassesDefault(".dcl"), std::string("<no key>"));
    QVERIFY(!QFile::exists(QString::fromStdString(DesktopEntryPath())));
  }

  void resetAsksThenClearsPositionsFontsAndCodePage() {
    for (const char* name : kSettingNames) WriteRegString(name, "kept");
    {
      TRegistry reg;
      QVERIFY(reg.OpenKey(kDlgPosKey, true));
      reg.WriteBinaryData("FrmFind", std::string(16, '\1'));
    }
    ShowConfig();
    dialogs::QueueMessageAnswer(IDNO);
    Click("btResPos");
    QVERIFY(FrmConfig->isVisible());
    QVERIFY(gSaveDlgPos);
    QVERIFY(!ApplicationTerminating());
    QCOMPARE(ReadRegString("PropertyListFont"), std::string("kept"));
    QCOMPARE(dialogs::Recorded().back().Text,
             QString("This will reset Font, Dialog and Codepage settings to default and close ZIB, are you sure ?"));
    QCOMPARE(dialogs::Recorded().back().Flags & 0xF, unsigned(MB_YESNO));

    dialogs::QueueMessageAnswer(IDYES);
    Click("btResPos");
    QVERIFY(!FrmConfig->isVisible());
    QCOMPARE(FrmConfig->result(), int(QDialog::Rejected));
    QVERIFY(!gSaveDlgPos);
    QVERIFY(ApplicationTerminating());
    QVERIFY(!TRegistry().KeyExists(kDlgPosKey));
    for (const char* name : {"Quillset1xCodePage", "PropertyListFont", "PropertyListCharset", "PropertyListSize",
                             "PropertyRowHeigth", "ObjectListFont", "ObjectListCharset", "ObjectListSize"})
      QCOMPARE(ReadRegString(name), std::string());
    for (const char* name : {"DefaultView", "DefaultExport", "ExternalEditor", "OpenNonQSFiles", "SortProperties"})
      QCOMPARE(ReadRegString(name), std::string("kept"));
    // The closing window no longer stores where it was.
    QVERIFY(!TRegistry().KeyExists(kDlgPosKey));
    SetApplicationTerminating(false);
  }

  // --- the association

  void associationWrittenForAllSevenExtensions() {
    TRegistry user;
    QVERIFY(user.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.seg", true));
    user.WriteString("Application", "other.exe");
    user.CloseKey();
    ShowConfig();
    Click("cxConnectMorvoFiles");
    Click("cxImediateExport");
    Click("cxImediatePackage");
    Click("cxOpenWithEditor");
    Click("rbPackage");
    Child<QLineEdit>("edEditor")->setText("/opt/text tools/edit");
    Click("BtnOK");

    const std::string exe = ExecutablePath();
    const struct {
      const char* Ext;
      const char* Upper;
      int Icon;
    } expected[7] = {{"dcl", "DCL", 2}, {"fun", "FUN", 8},  {"seg", "SEG", 11}, {"dev", "DEV", 4},
                     {"chn", "CHN", 1}, {"map", "MAP", 10}, {"fmt", "FMT", 7}};
    for (const auto& e : expected) {
      const std::string progId = std::string("Morvo") + e.Upper + "File";
      QCOMPARE(ClassesDefault(std::string(".") + e.Ext), progId);
      QCOMPARE(ClassesDefault(progId), std::string("Morvo ") + e.Upper + " File");
      QCOMPARE(ClassesDefault(progId + "\\DefaultIcon"), exe + "," + std::to_string(e.Icon));
      QCOMPARE(ClassesDefault(progId + "\\shell"), std::string("Package"));
      QCOMPARE(ClassesDefault(progId + "\\shell\\Open"), std::string("&Open in ZIB"));
      QCOMPARE(ClassesDefault(progId + "\\shell\\Open\\command"), "\"" + exe + "\" \"%1\"");
      QCOMPARE(ClassesDefault(progId + "\\shell\\Export"), std::string("ZIB E&xport"));
      QCOMPARE(ClassesDefault(progId + "\\shell\\Export\\command"), "\"" + exe + "\" /E \"%1\"");
      QCOMPARE(ClassesDefault(progId + "\\shell\\Package"), std::string("ZIB &Package"));
      QCOMPARE(ClassesDefault(progId + "\\shell\\Package\\command"), "\"" + exe + "\" /P \"%1\"");
      QCOMPARE(ClassesDefault(progId + "\\shell\\Edit"), std::string("&Edit in Textedit"));
      // The editor's path goes in unquoted, blanks and all.
      QCOMPARE(ClassesDefault(progId + "\\shell\\Edit\\command"), std::string("/opt/text tools/edit \"%1\""));
    }
    QVERIFY(user.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.seg", false));
    QVERIFY(!user.ValueExists("Application"));
    user.CloseKey();
    // The check boxes name the verbs as the file manager's menu will carry them.
    const QString exportBox = Box("cxImediateExport")->text();
    const QString packageBox = Box("cxImediatePackage")->text();
    QVERIFY2(Shown(exportBox).contains(QString::fromStdString(ClassesDefault("MorvoDCLFile\\shell\\Export"))),
             qPrintable(exportBox));
    QVERIFY2(Shown(packageBox).contains(QString::fromStdString(ClassesDefault("MorvoDCLFile\\shell\\Package"))),
             qPrintable(packageBox));
    QCOMPARE(QKeySequence::mnemonic(exportBox), QKeySequence(Qt::ALT | Qt::Key_I));
    QCOMPARE(QKeySequence::mnemonic(packageBox), QKeySequence(Qt::ALT | Qt::Key_P));

    // Verbs turned off go with their keys; the default action returns to Open.
    ShowConfig();
    QVERIFY(Radio("rbPackage")->isChecked());
    Click("cxImediateExport");
    Click("cxImediatePackage");
    Click("BtnOK");
    QCOMPARE(ClassesDefault("MorvoFMTFile\\shell\\Export"), std::string("<no key>"));
    QCOMPARE(ClassesDefault("MorvoFMTFile\\shell\\Package\\command"), std::string("<no key>"));
    QCOMPARE(ClassesDefault("MorvoFMTFile\\shell"), std::string("Open"));
    QCOMPARE(ClassesDefault("MorvoFMTFile\\shell\\Edit"), std::string("&Edit in Textedit"));

    // Disconnecting removes every key, even an extension taken by another program.
    SetClassesDefault(".map", "OtherMapFile");
    SetClassesDefault(".txt", "txtfile");
    ShowConfig();
    Click("cxConnectMorvoFiles");
    Child<QLineEdit>("edEditor")->setText("/opt/text tools/edit");
    Click("BtnOK");
    for (const auto& e : expected) {
      QCOMPARE(ClassesDefault(std::string(".") + e.Ext), std::string("<no key>"));
      QCOMPARE(ClassesDefault(std::string("Morvo") + e.Upper + "File"), std::string("<no key>"));
    }
    QCOMPARE(ClassesDefault(".txt"), std::string("txtfile"));
    // The editor is stored even though its control was disabled.
    QCOMPARE(ReadRegString("ExternalEditor"), std::string("/opt/text tools/edit"));
  }

  void failedClassesRootWriteStopsTheRestOfOk() {
    // A classes-root store that cannot be written: the first key fails.
    const QString store = QString::fromStdString(TRegistry::StoreFileName(TRegRoot::ClassesRoot));
    QVERIFY(QDir().mkpath(store));
    WriteRegString("DefaultView", "Design");
    ShowConfig();
    QVERIFY(!Box("cxConnectMorvoFiles")->isChecked());
    Click("cxConnectMorvoFiles");
    Combo("cbViewType")->setCurrentIndex(2);
    Click("BtnOK");
    QVERIFY(QDir(store).removeRecursively());
    QVERIFY(!FrmConfig->isVisible());
    QCOMPARE(dialogs::Recorded().back().Kind, QString("message"));
    QVERIFY(dialogs::Recorded().back().Flags & MB_ICONERROR);
    QCOMPARE(ReadRegString("DefaultView"), std::string("Design"));
    QCOMPARE(ReadRegString("PropertyListFont"), std::string());
    QVERIFY(!QFile::exists(QString::fromStdString(DesktopEntryPath())));
  }

  void otherExtensionsRewrittenFromTheWindow() {
    ShowConfig();
    Click("cxConnectMorvoFiles");
    Click("BtnOK");
    SetClassesDefault("MorvoFUNFile\\shell", "Edit");
    SetClassesDefault("MorvoFUNFile\\shell\\Export", "ZIB E&xport");
    ShowConfig();
    QVERIFY(Radio("rbOpen")->isChecked());
    QVERIFY(!Box("cxImediateExport")->isChecked());
    Click("BtnOK");
    QCOMPARE(ClassesDefault("MorvoFUNFile\\shell"), std::string("Open"));
    QCOMPARE(ClassesDefault("MorvoFUNFile\\shell\\Export"), std::string("<no key>"));
  }

  void desktopMirrorFollowsTheAssociation() {
    WriteText(FHome.path() + "/config/mimeapps.list",
              "[Default Applications]\ntext/plain=myedit.desktop\napplication/x-morvo-seg=other.desktop;\n");
    // The list names the entry: whenever it is put in place, the entry is there.
    static bool gEntryMissed;
    gEntryMissed = false;
    const TFileOps saved = FileOps();
    FileOps().Rename = [](const char* From, const char* To) {
      if (QString(To).endsWith("/mimeapps.list") && !QFile::exists(QString::fromStdString(DesktopEntryPath())))
        gEntryMissed = true;
      return ::rename(From, To);
    };
    ShowConfig();
    Click("cxConnectMorvoFiles");
    Click("cxImediateExport");
    Click("rbExport");
    Click("BtnOK");

    const QString entry = ReadText(QString::fromStdString(DesktopEntryPath()));
    QVERIFY(DesktopEntryPath().find(FHome.path().toStdString()) == 0);
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));
    QVERIFY(entry.contains("\nActions=Open;Export;\n"));
    QVERIFY(entry.contains("\n[Desktop Action Export]\nName=ZIB Export\n"));
    QVERIFY(!entry.contains("[Desktop Action Package]"));
    QVERIFY(
        entry.contains("MimeType=application/x-morvo-dcl;application/x-morvo-fun;application/x-morvo-seg;"
                       "application/x-morvo-dev;application/x-morvo-chn;application/x-morvo-map;"
                       "application/x-morvo-fmt;\n"));
    // The entry's own command carries the default action's switch.
    const QString exec = entry.section("\nExec=", 1, 1).section('\n', 0, 0);
    QVERIFY2(exec.endsWith(" /E %f"), qPrintable(exec));

    const QString mime = ReadText(QString::fromStdString(MimePackagePath()));
    for (const char* ext : {"dcl", "fun", "seg", "dev", "chn", "map", "fmt"})
      QVERIFY(mime.contains(QString("<glob pattern=\"*.%1\"/>").arg(ext)));
    const QString lists = ReadText(FHome.path() + "/config/mimeapps.list");
    QVERIFY(lists.contains("text/plain=myedit.desktop\n"));
    QVERIFY(lists.contains("application/x-morvo-dcl=morvo-reader.desktop;\n"));
    QVERIFY(lists.contains("application/x-morvo-seg=morvo-reader.desktop;other.desktop;\n"));
    QCOMPARE(lists.count("application/x-morvo-fmt=morvo-reader.desktop;"), 2);  // default and added

    ShowConfig();
    Click("cxConnectMorvoFiles");
    Click("BtnOK");
    QVERIFY(!QFile::exists(QString::fromStdString(DesktopEntryPath())));
    QVERIFY(!QFile::exists(QString::fromStdString(MimePackagePath())));
    const QString after = ReadText(FHome.path() + "/config/mimeapps.list");
    QVERIFY(!after.contains("morvo-reader.desktop"));
    QVERIFY(after.contains("text/plain=myedit.desktop\n"));
    QVERIFY(after.contains("application/x-morvo-seg=other.desktop;\n"));
    FileOps() = saved;
    QVERIFY(!gEntryMissed);
  }

  void removingTheAssociationLeavesNothingBehind_data() {
    QTest::addColumn<QString>("list");
    QTest::newRow("no list before") << QString();
    QTest::newRow("the user's list") << QString("[Default Applications]\ntext/plain=myedit.desktop\n");
  }
  void removingTheAssociationLeavesNothingBehind() {
    QFETCH(QString, list);
    const QString home = FHome.path() + "/removal";
    QDir(home).removeRecursively();
    QDir().mkpath(home + "/config");
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    // The desktop's cache tools as well, where the machine has them.
    for (const char* tool : {"update-mime-database", "update-desktop-database"})
      if (const QString real = QStandardPaths::findExecutable(tool, {"/usr/bin"}); !real.isEmpty())
        QFile::link(real, FTools + "/" + tool);
    if (!list.isEmpty()) WriteText(home + "/config/mimeapps.list", list);
    TAssociationChoice choice;
    choice.Connect = choice.Edit = true;
    choice.EditorPath = "/usr/bin/ed";
    MirrorDesktopAssociation(choice);
    QVERIFY(QFile::exists(QString::fromStdString(DesktopEntryPath())));
    choice.Connect = false;
    MirrorDesktopAssociation(choice);
    qputenv("XDG_DATA_HOME", (FHome.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (FHome.path() + "/config").toUtf8());
    // Emptied, but there: folders are removed up to the data folder, never it or above.
    QVERIFY(QFileInfo(home + "/data").isDir());
    QCOMPARE(QDir(home + "/data").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    if (list.isEmpty())
      QVERIFY(!QFile::exists(home + "/config/mimeapps.list"));
    else
      QCOMPARE(ReadText(home + "/config/mimeapps.list"), list);
  }

  // A list that exists but cannot be read (a pipe; mode 0200 for a user who
  // is not root) would lose the user's defaults if written anew: the step
  // writes nothing, never blocks, and says why.
  void anUnreadableDesktopListStopsTheAssociation_data() {
    QTest::addColumn<bool>("pipe");
    QTest::newRow("a pipe") << true;
    QTest::newRow("mode 0200") << false;
  }
  void anUnreadableDesktopListStopsTheAssociation() {
    QFETCH(bool, pipe);
    const QString home = FHome.path() + "/unreadable";
    QDir(home).removeRecursively();
    QVERIFY(QDir().mkpath(home + "/config") && QDir().mkpath(home + "/data"));
    const std::string list = (home + "/config/mimeapps.list").toStdString();
    const std::string text = "[Default Applications]\ntext/plain=myedit.desktop\n";
    QCOMPARE(pipe ? ::mkfifo(list.c_str(), 0600) : int(!testsupport::WriteFileBytes(list, text)), 0);
    const passwd* nobody = ::getpwnam("nobody");
    const bool drop = !pipe && ::geteuid() == 0;
    if (drop) {
      QVERIFY(nobody);
      for (const QString& p : {home, home + "/config", home + "/data", QString::fromStdString(list)})
        QCOMPARE(::chown(QFile::encodeName(p).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    if (!pipe) QCOMPARE(::chmod(list.c_str(), 0200), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      if (drop && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) _exit(3);
      qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
      qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
      dialogs::ClearRecorded();
      TAssociationChoice choice;
      choice.Connect = true;
      const bool failed = !MirrorDesktopAssociation(choice);
      const bool told = dialogs::Recorded().size() == 1 && dialogs::Recorded()[0].Text.contains("mimeapps.list");
      _exit(failed && told && !QFile::exists(QString::fromStdString(DesktopEntryPath())) ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat st {};
    QCOMPARE(::stat(list.c_str(), &st), 0);
    if (pipe) {
      QVERIFY(S_ISFIFO(st.st_mode));
    } else {
      QCOMPARE(st.st_mode & 07777, mode_t(0200));
      QCOMPARE(testsupport::ReadFileBytes(list), text);
    }
  }

  // A disk that fills stops the step where it fails, and the step puts back
  // what it changed: connecting never names an entry that was not written,
  // disconnecting never removes the entry the list still names.
  void aFullDiskLeavesTheDesktopAsItWas_data() {
    QTest::addColumn<bool>("connect");
    QTest::addColumn<QString>("folder");
    QTest::newRow("connecting, the data folder full") << true << "data";
    QTest::newRow("connecting, the config folder full") << true << "config";
    QTest::newRow("disconnecting, the config folder full") << false << "config";
  }
  void aFullDiskLeavesTheDesktopAsItWas() {
    QFETCH(bool, connect);
    QFETCH(QString, folder);
    const QString home = FHome.path() + "/full";
    QDir(home).removeRecursively();
    QVERIFY(QDir().mkpath(home + "/config") && QDir().mkpath(home + "/data"));
    const QString full = home + "/" + folder;
    struct TMount {
      QString Path;
      bool On;
      ~TMount() {
        if (On) QProcess::execute(QStandardPaths::findExecutable("umount", {"/usr/bin", "/bin"}), {"-l", Path});
        qputenv("XDG_DATA_HOME", (Path.section('/', 0, -3) + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (Path.section('/', 0, -3) + "/config").toUtf8());
      }
    } mount{full, ::geteuid() == 0 && QProcess::execute(QStandardPaths::findExecutable("mount", {"/usr/bin", "/bin"}),
                                                        {"-t", "tmpfs", "-o", "size=64k", "tmpfs", full}) == 0};
    if (!mount.On) {
      if (testsupport::InCi()) QFAIL("a small file system could not be mounted");
      QSKIP("mounting a small file system needs root");
    }
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    const std::string list = (home + "/config/mimeapps.list").toStdString();
    QVERIFY(testsupport::WriteFileBytes(list, "[Default Applications]\ntext/plain=myedit.desktop\n"));
    TAssociationChoice choice;
    choice.Connect = true;
    if (!connect) QVERIFY(MirrorDesktopAssociation(choice));
    const std::string before = testsupport::ReadFileBytes(list);
    testsupport::WriteFileBytes((full + "/filler").toStdString(), std::string(64 << 10, 'f'));
    const QStringList data = QDir(home + "/data").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    dialogs::ClearRecorded();
    choice.Connect = connect;
    QVERIFY(!MirrorDesktopAssociation(choice));
    QCOMPARE(testsupport::ReadFileBytes(list), before);
    QCOMPARE(QDir(home + "/data").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), data);  // no folder it made
    QCOMPARE(QFile::exists(QString::fromStdString(DesktopEntryPath())), !connect);
    QCOMPARE(dialogs::Recorded().size(), 1);
    QVERIFY2(dialogs::Recorded()[0].Text.contains("No space left on device"), qPrintable(dialogs::Recorded()[0].Text));
  }

  // What a desktop entry says of its program: only the main section counts,
  // comment lines are no keys, only "true" asks for a terminal, a quoted
  // Exec loses its escapes, and an entry that gives the program a window of
  // its own outweighs any that runs it in a terminal.
  void aTerminalProgramIsToldByItsEntries_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("terminal");
    QTest::newRow("Terminal=true") << "ted" << QStringList{"Exec=@ %f\nTerminal=true\n"} << true;
    QTest::newRow("another value") << "ted" << QStringList{"Exec=@ %f\nTerminal=True\n"} << false;
    QTest::newRow("a comment") << "ted" << QStringList{"Exec=@ %f\n#Terminal=true\nTerminal=false\n#Exec=x\n"} << false;
    QTest::newRow("an action") << "ted"
                               << QStringList{"Exec=/bin/true\n[Desktop Action Edit]\nExec=@ %f\nTerminal=true\n"}
                               << false;
    QTest::newRow("escapes in quotes") << "t$d" << QStringList{"Exec=\"@\" %f\nTerminal=true\n"} << true;
    QTest::newRow("a window of its own") << "ted"
                                         << QStringList{"Exec=@ %f\nTerminal=true\n", "Exec=@ %U\nTerminal=false\n",
                                                        "Exec=@\nTerminal=true\n"}
                                         << false;
  }
  void aTerminalProgramIsToldByItsEntries() {
    QFETCH(QString, program);
    QFETCH(QStringList, entries);
    QFETCH(bool, terminal);
    const QString path = FakeProgram(FTools + "/" + program);
    QString inExec = path;
    inExec.replace("$", "\\\\$");  // escaped for the launcher, then for the file
    for (int i = 0; i < entries.size(); ++i)
      WriteText(FHome.path() + QString("/data/applications/t%1.desktop").arg(i),
                "[Desktop Entry]\n" + QString(entries[i]).replace("@", inExec));
    QCOMPARE(ProgramRunsInTerminal(path), terminal);
    QStringList keys;
    ForEachDesktopValue(FHome.path() + "/data/applications/t0.desktop", "Desktop Entry",
                        [&keys](const QString& Key, const QString&) { return keys << Key, false; });
    QVERIFY(!keys.join(',').contains('#'));
  }

  // A settings write that fails is told once in the run, over the main window.
  void aFailedSettingsWriteIsToldOnce() {
    const auto told = [](const QString& Text) {
      const auto& r = dialogs::Recorded();
      return std::count_if(r.begin(), r.end(), [&Text](const auto& R) { return R.Text.contains(Text); });
    };
    FrmMorvoReader->show();
    // What earlier tests left to tell is told first.
    if (const QString earlier = QString::fromStdString(SettingsWriteFailure()); !earlier.isEmpty())
      QTRY_VERIFY_WITH_TIMEOUT(told(earlier) > 0, 5000);
    ForgetSettingsWriteFailure();
    dialogs::ClearRecorded();
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QString blocked = FHome.path() + "/blocked";
    QVERIFY(WriteText(blocked + "/Kelbrun", "not a folder"));
    qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
    TRecentFiles().Add("/first.obj");
    QTRY_COMPARE_WITH_TIMEOUT(told(blocked), 1, 5000);
    TRecentFiles().Add("/second.obj");  // not told again
    QCoreApplication::processEvents();
    qputenv("XDG_CONFIG_HOME", config);
    FrmMorvoReader->hide();
    QCOMPARE(dialogs::Recorded().size(), 1);
    QVERIFY2(dialogs::Recorded()[0].Text.contains("settings cannot be saved"), qPrintable(dialogs::Recorded()[0].Text));
    ForgetSettingsWriteFailure();
  }

  void desktopCommandsQuoteWhatTheLauncherWouldSplit() {
    TAssociationChoice choice;
    choice.Connect = choice.Edit = choice.Package = true;
    choice.ExePath = "/opt/my apps/morvo\\reader";
    choice.EditorPath = "/usr/bin/ed$it";
    choice.Default = TDefaultAction::Edit;
    const std::string text = DesktopEntryText(choice);
    // Quoted for the launcher, "\" and "$" escaped there, then "\" doubled for the file.
    QVERIFY2(text.find("Exec=\"/opt/my apps/morvo\\\\\\\\reader\" /P %f\n") != std::string::npos, text.c_str());
    QVERIFY2(text.find("\nExec=\"/usr/bin/ed\\\\$it\" %f\nNoDisplay") != std::string::npos, text.c_str());
    choice.ExePath = "/opt/100%/morvo";
    QVERIFY(DesktopEntryText(choice).find("Exec=/opt/100%%/morvo %f\n") != std::string::npos);
    // An editor that is no longer named drops the edit action.
    choice.EditorPath.clear();
    QVERIFY(DesktopEntryText(choice).find("Actions=Open;Package;\n") != std::string::npos);
  }

  // --- the editor

  void expansionOfVariablesAndTheLoginName() {
    qputenv("MORVO_X", "/x");
    QCOMPARE(ExpandPathVariables("%MORVO_X%/ed"), std::string("/x/ed"));
    QCOMPARE(ExpandPathVariables("%morvo_x%"), std::string("/x"));
    QCOMPARE(ExpandPathVariables("%NO_SUCH_ONE%/ed"), std::string("%NO_SUCH_ONE%/ed"));
    // The closing mark of an unknown name may open the next one.
    QCOMPARE(ExpandPathVariables("%NO_SUCH_ONE%MORVO_X%"), std::string("%NO_SUCH_ONE/x"));
    QCOMPARE(ExpandPathVariables("100%"), std::string("100%"));
    QCOMPARE(ExpandPathVariables("%%"), std::string("%%"));
    qunsetenv("USERNAME");
    const std::string login = GetUserNameString();
    QVERIFY(!login.empty());
    QCOMPARE(ExpandPathVariables("/home/%UserName%/%USERNAME%"), "/home/" + login + "/" + login);
  }

  void editorProposalIsNeverThisProgram() {
    QCOMPARE(ProposedEditor(), std::string());
    const QString mousepad = FakeProgram(FTools + "/mousepad");
    const QString kate = FakeProgram(FTools + "/kate");
    QCOMPARE(QString::fromStdString(ProposedEditor()), kate);  // earlier in the list
    QFile::remove(kate);
    QCOMPARE(QString::fromStdString(ProposedEditor()), mousepad);

    // The desktop's default for plain text comes first...
    const QString mine = FakeProgram(FHome.path() + "/my tools/myedit");
    WriteText(FHome.path() + "/data/applications/myedit.desktop",
              "[Desktop Entry]\nType=Application\nName=My editor\nExec=\"" + mine + "\" %F\n");
    WriteText(FHome.path() + "/config/mimeapps.list", "[Default Applications]\ntext/plain=myedit.desktop;\n");
    QCOMPARE(QString::fromStdString(ProposedEditor()), mine);

    // ...unless it is this program.
    WriteText(FHome.path() + "/data/applications/myedit.desktop",
              "[Desktop Entry]\nExec=" + QString::fromStdString(ExecutablePath()) + " %f\n");
    QCOMPARE(QString::fromStdString(ProposedEditor()), mousepad);
    // Nor through a link on the search path, nor as the desktop's own entry of it.
    QVERIFY(QFile::link(QString::fromStdString(ExecutablePath()), FTools + "/gedit"));
    WriteText(FHome.path() + "/data/applications/morvo-reader.desktop", "[Desktop Entry]\nExec=\"" + mine + "\" %f\n");
    FakeProgram(FTools + "/kate");
    WriteText(FHome.path() + "/config/mimeapps.list", "[Default Applications]\ntext/plain=morvo-reader.desktop;\n");
    QCOMPARE(QString::fromStdString(ProposedEditor()), FTools + "/kate");

    // Nor an editor that shows nothing without a terminal, nor a launcher that hands the file back.
    for (const QString& entry : {"Exec=\"" + mine + "\" %f\nTerminal=true\n", QString("Exec=xdg-open %u\n")}) {
      FakeProgram(FTools + "/xdg-open");
      WriteText(FHome.path() + "/data/applications/myedit.desktop", "[Desktop Entry]\n" + entry);
      WriteText(FHome.path() + "/config/mimeapps.list", "[Default Applications]\ntext/plain=myedit.desktop;\n");
      QCOMPARE(QString::fromStdString(ProposedEditor()), FTools + "/kate");
    }
    // Such an editor, stored all the same, runs inside the desktop's terminal emulator.
    WriteText(FHome.path() + "/data/applications/myedit.desktop",
              "[Desktop Entry]\nExec=\"" + mine + "\" %f\nTerminal=true\n");
    QVERIFY(QFile::remove(FHome.path() + "/data/applications/morvo-reader.desktop"));  // it started mine in a window
    QCOMPARE(EditorCommandLine(mine), QStringList{mine});                              // no emulator installed
    const QString terminal = FakeProgram(FTools + "/x-terminal-emulator");
    QCOMPARE(EditorCommandLine(mine), QStringList({terminal, "-e", mine}));
    QCOMPARE(EditorCommandLine(FTools + "/kate"), QStringList{FTools + "/kate"});
    TAssociationChoice choice;
    choice.Edit = true;
    choice.EditorPath = mine.toStdString();
    QVERIFY(QString::fromStdString(DesktopEntryText(choice)).contains("Exec=" + terminal + " -e \"" + mine + "\" %f"));

    // A pipe in the desktop list's place is passed over at once, as no list.
    QVERIFY(QFile::remove(FHome.path() + "/config/mimeapps.list"));
    QCOMPARE(::mkfifo(QFile::encodeName(FHome.path() + "/config/mimeapps.list").constData(), 0600), 0);
    QCOMPARE(QString::fromStdString(ProposedEditor()), FTools + "/kate");
    QVERIFY(QFile::remove(FHome.path() + "/config/mimeapps.list"));
    // A stored editor that does not exist is replaced by the proposal in the window.
    WriteRegString("ExternalEditor", (FHome.path() + "/gone").toStdString());
    ShowConfig();
    QCOMPARE(Child<QLineEdit>("edEditor")->text(), QString::fromStdString(ProposedEditor()));
  }

  // --- the switches

  void configSwitchShowsTheWindowAloneAndEnds() {
    TFrmConfig::SetArgumentsOverride({"morvo-reader", "/c"});
    bool preTicked = false;
    dialogs::QueueDialogAction([&preTicked](QDialog* Dialog) {
      preTicked = Dialog->findChild<QCheckBox*>("cxImediatePackage")->isChecked();
      Dialog->findChild<QPushButton*>("BtnOK")->click();
    });
    QVERIFY(RunUnattendedCommand({"morvo-reader", "/C"}));
    QVERIFY(preTicked);
    QVERIFY(!FrmConfig);
    QVERIFY(!FrmMorvoReader);
    QCOMPARE(ClassesDefault("MorvoCHNFile\\shell\\Package"), std::string("ZIB &Package"));
  }

  void firstSwitchStartsTheStoredProgramWithC() {
    QVERIFY(!RunUnattendedCommand({"morvo-reader", "/first"}));
    QVERIFY(FrmMorvoReader);
    QVERIFY(!RunUnattendedCommand({"morvo-reader", "/FIRST"}));

    // No program stored: the windows go all the same and nothing starts.
    QVERIFY(RunUnattendedCommand({"morvo-reader", "/First"}));
    QVERIFY(!FrmMorvoReader);
    QVERIFY(!FrmConfig);

    const QString folder = FHome.path() + "/first run";
    QDir().mkpath(folder);
    const QString script = folder + "/morvo reader";
    QVERIFY(QFile::copy(QString::fromStdString(testsupport::TestDataDir()) + "/config/recorder.sh", script));
    const QString record = FHome.path() + "/record.txt";
    qputenv("MORVO_RECORD", record.toUtf8());
    WriteRegString("Exefile", script.toStdString());
    CreateAllForms();
    QVERIFY(RunUnattendedCommand({"morvo-reader", "/First"}));
    QTRY_COMPARE_WITH_TIMEOUT(ReadText(record), QString("/c\n"), 10000);
  }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
